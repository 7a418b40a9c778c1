#include "acquisition/WmsManager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "forms/WmsManagerForm.h"

WmsManager::WmsManager(QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::WmsManager>())
{
    ui->setupUi(this);
}

WmsManager::~WmsManager() = default;

void WmsManager::recordTmpFile(const QString& path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (!tmpFiles_.contains(absolute))
        tmpFiles_.append(absolute);
}

void WmsManager::removeTmpFiles()
{
    const QString tmpFolder = QFileInfo(QDir::current().absoluteFilePath(QStringLiteral("tmp"))).canonicalFilePath();
    if (tmpFolder.isEmpty())
        return;  // no "tmp" folder: nothing of ours can be left in it
    for (const QString& path : std::as_const(tmpFiles_)) {
        const QFileInfo info(path);
        // Only plain files directly inside "tmp"; sub-folders stay.
        if (!info.isFile() || QFileInfo(info.absolutePath()).canonicalFilePath() != tmpFolder)
            continue;
        QFile::remove(path);
    }
    tmpFiles_.clear();
}
