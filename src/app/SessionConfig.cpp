#include "app/SessionConfig.h"

#include <QFile>
#include <QStringList>

#include "app/FenlarkApp.h"
#include "app/WidgetUtils.h"

void colorFromSetting(const QVariant& value, QColor& colour)
{
    const QString text = value.typeId() == QMetaType::QStringList ? value.toStringList().join(QLatin1Char(','))
                                                                   : value.toString();
    colorFromText(text, colour, QStringLiteral(","));
}

namespace UI {

void FenlarkApp::initSessionConfig(QSettings* defaults)
{
    delete sessionConfig;
    sessionConfig = new QSettings(QStringLiteral("session_config.ini"), QSettings::IniFormat);
    // A file left by an earlier run (closed normally or not) is emptied
    // whole, extra groups included.
    sessionConfig->clear();
    if (defaults) {
        const QStringList keys = defaults->allKeys();
        for (const QString& key : keys)
            sessionConfig->setValue(key, defaults->value(key));
    }
    // On disk before the window is shown, even when there was nothing to
    // copy (the store writes no file without keys).
    sessionConfig->sync();
    QFile file(sessionConfig->fileName());
    if (!file.exists())
        file.open(QIODevice::WriteOnly);
}

} // namespace UI
