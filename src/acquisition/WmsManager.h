#pragma once

// The WMS download dialog. The main window holds one as a member for its
// whole life; its Load button hands the downloaded images to the main window,
// and the main window's confirmed close cleans up the "tmp" folder.
//
// First version: the form, the list of downloaded images, the record of the
// files the dialog writes into "tmp" and their removal. The services, the
// download queue, the downloader and the world files come with the dialog's
// own work.

#include <memory>

#include <QDialog>
#include <QStringList>

namespace Ui {
class WmsManager;
}

class WmsManager : public QDialog {
    Q_OBJECT

public:
    explicit WmsManager(QWidget* parent = nullptr);
    ~WmsManager() override;

    // Every file the dialog writes into the working directory's "tmp" folder
    // (images, world files, previews) is recorded here, so that the clean-up
    // removes the program's own files and nothing a user keeps there.
    void recordTmpFile(const QString& path);
    QStringList recordedTmpFiles() const { return tmpFiles_; }

    // Deletes the recorded files that still lie directly in the working
    // directory's "tmp" folder; sub-folders and files the program did not
    // write stay. A failed removal is ignored.
    void removeTmpFiles();

    std::unique_ptr<Ui::WmsManager> ui;
    // Paths of the downloaded images (previews excluded), in download order.
    QStringList downloadedFiles;

private:
    QStringList tmpFiles_;
};
