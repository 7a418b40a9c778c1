#include "app/Startup.h"

#include <clocale>

#include <QApplication>
#include <QLocale>

namespace Startup {

void prepareApplication()
{
    QLocale::setDefault(QLocale::c());
    QApplication::setOrganizationName(QStringLiteral("Korvalin"));
    QApplication::setApplicationName(QStringLiteral("Fenlark"));
}

void restoreNumericLocale()
{
    std::setlocale(LC_NUMERIC, "C");
}

} // namespace Startup
