#pragma once

// The main window with synthetic product archives opened through File >
// Open: every dialog answered, every task run inline. The fixture of the
// tests that follow a product from its opening.

#include <filesystem>
#include <string>

#include "io/test_jp2zip_fixture.h"
#include "test_dialogs.h"
#include "test_shell_support.h"
#include "tools/TaskRunner.h"

namespace ShellTest {

class ProductShell : public Shell {
protected:
    // A product in a folder of its own inside the test's folder, copied from
    // the test cache.
    QString product(const Sample::ProductSpec& spec = {})
    {
        const std::filesystem::path into = folder.path() / std::to_string(products_++);
        std::filesystem::create_directories(into);
        return QString::fromStdString(Jp2ZipTest::copyOfProduct(into, spec).string());
    }

    // Opens the paths through File > Open.
    void open(const QStringList& paths)
    {
        dialogs.fileAnswers.append(paths);
        Jp2ZipTest::quietly([&] { window->ui->actionOpen->trigger(); });
    }

    // Opens the right side, shows data set index there and makes the left
    // side active again; both main viewers get a laid-out size.
    void showOnTheRight(int index)
    {
        window->toolButtonTabWidget_clicked();
        emit window->ui->rightTabWidget->tabBarClicked(0);
        Jp2ZipTest::quietly([&] { window->showDataSet(index); });
        emit window->ui->leftTabWidget->tabBarClicked(0);
        ASSERT_EQ(window->ui->activeSide, 0);
        QApplication::processEvents();
        setViewport(viewer(1), QSize(240, 240));
        window->refreshAllViewers();
        ASSERT_FALSE(viewer(1)->isEmpty());
    }

    TestSupport::TempDir folder;
    int products_ = 0;
    Dialogs dialogs;
    TaskRunner::ScopedInlineRunner inlineTasks;
};

} // namespace ShellTest
