// The window's action slots: the tool windows they open, the results taken
// back from the archive browser and the WMS dialog, and linking the sides.

#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QTabBar>

#include "acquisition/LocalLoader.h"
#include "acquisition/OrthoManager.h"
#include "acquisition/RemoteLoader.h"
#include "test_dialogs.h"
#include "test_shell_support.h"
#include "windows/CurveManager.h"
#include "windows/HabitatManager.h"

using ShellTest::Dialogs;
using ShellTest::Shell;

namespace {

class Actions : public Shell {
protected:
    // Tool windows are deleted later, when the event loop gets to them.
    static void settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    template <typename Window>
    static QList<Window*> topLevels()
    {
        QList<Window*> out;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* window = qobject_cast<Window*>(widget))
                out.append(window);
        }
        return out;
    }

    template <typename Window>
    static void expectToolWindow(Window* window)
    {
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->parentWidget(), nullptr);
        EXPECT_TRUE(window->isWindow());
        EXPECT_EQ(window->windowModality(), Qt::WindowModal);
        EXPECT_TRUE(window->testAttribute(Qt::WA_DeleteOnClose));
        EXPECT_TRUE(window->isVisible());
    }

    Dialogs dialogs;
};

} // namespace

TEST_F(Actions, HabitatManagersAreIndependentWindowsDeletedOnClose)
{
    window->ui->actionHabitat_Manager->trigger();
    window->ui->actionHabitat_Manager->trigger();
    const QList<HabitatManager*> opened = topLevels<HabitatManager>();
    ASSERT_EQ(opened.size(), 2);
    QList<QPointer<HabitatManager>> guards;
    for (HabitatManager* manager : opened) {
        expectToolWindow(manager);
        guards.append(manager);
    }
    for (const QPointer<HabitatManager>& manager : guards)
        manager->close();
    settle();
    for (const QPointer<HabitatManager>& manager : guards)
        EXPECT_TRUE(manager.isNull());
}

TEST_F(Actions, RemoteAndOrthomosaicWindowsOpenAsToolWindows)
{
    // Nothing stored: the remote window asks for a login, which is cancelled.
    window->on_actionRemote_Data_Manager_triggered();
    window->on_action_Ortho_Data_Manager_triggered();
    const QList<RemoteLoader*> remote = topLevels<RemoteLoader>();
    const QList<OrthoManager*> ortho = topLevels<OrthoManager>();
    ASSERT_EQ(remote.size(), 1);
    ASSERT_EQ(ortho.size(), 1);
    expectToolWindow(remote[0]);
    expectToolWindow(ortho[0]);
    QPointer<RemoteLoader> remoteGuard = remote[0];
    QPointer<OrthoManager> orthoGuard = ortho[0];
    remoteGuard->close(); // the close question is answered Yes
    orthoGuard->close();
    settle();
    EXPECT_TRUE(remoteGuard.isNull());
    EXPECT_TRUE(orthoGuard.isNull());
}

TEST_F(Actions, KeptWindowsAreRaisedInsteadOfOpenedTwice)
{
    window->on_actionCurve_Manager_triggered();
    QPointer<CurveManager> curves = window->curveManager;
    expectToolWindow(curves.data());
    window->on_actionCurve_Manager_triggered();
    EXPECT_EQ(window->curveManager, curves);
    EXPECT_EQ(topLevels<CurveManager>().size(), 1);

    window->on_actionLocal_Loader_triggered();
    QPointer<LocalLoader> archives = window->localLoader;
    expectToolWindow(archives.data());
    window->on_actionLocal_Loader_triggered();
    EXPECT_EQ(window->localLoader, archives);
    EXPECT_EQ(topLevels<LocalLoader>().size(), 1);

    curves->close();
    settle();
    EXPECT_TRUE(window->curveManager.isNull());
    window->on_actionCurve_Manager_triggered();
    EXPECT_FALSE(window->curveManager.isNull());
    window->curveManager->close();
    archives->close();
    settle();
}

TEST_F(Actions, AnEmptyResultClosesTheArchiveBrowserButNotTheWmsDialog)
{
    window->on_actionLocal_Loader_triggered();
    QPointer<LocalLoader> archives = window->localLoader;
    archives->selectedFiles.clear();
    window->localDataManagerLoad();
    settle();
    EXPECT_TRUE(archives.isNull());
    EXPECT_TRUE(window->dataFiles.isEmpty());

    window->wmsManager.show();
    window->wmsManager.downloadedFiles.clear();
    window->wmsManager_load();
    EXPECT_TRUE(window->wmsManager.isVisible());
    window->wmsManager.hide();
}

TEST_F(Actions, OrthomosaicLoadStartsTheSquareMode)
{
    const int index = addDataSet(ShellTest::makeDataSet(60, 60, 3, 24));
    showOn(0, index);
    // The square is drawn on the side's picture.
    setViewport(viewer(0), QSize(80, 60));
    window->refreshAllViewers();
    ASSERT_FALSE(viewer(0)->isEmpty());
    window->on_action_Ortho_Load_files_triggered();
    EXPECT_TRUE(window->ui->action_Ortho_Load_files->isCheckable());
    EXPECT_TRUE(window->ui->action_Ortho_Load_files->isChecked());
    EXPECT_TRUE(window->ui->initSquareMode);
    EXPECT_TRUE(window->ui->workingAreaLocked);
}

namespace {

class Linking : public Shell {
protected:
    void SetUp() override
    {
        Shell::SetUp();
        left = addDataSet(ShellTest::makeDataSet(200, 160, 3, 60));
        right = addDataSet(ShellTest::makeDataSet(200, 160, 3, 60));
        showOn(0, left);
        window->toolButtonTabWidget_clicked(); // the right side opens
        showOn(1, right);
        setViewport(viewer(0), QSize(80, 60));
        setViewport(viewer(1), QSize(80, 60));
        window->refreshAllViewers();
        window->ui->actionLink_left_right->setChecked(false);
    }

    int left = -1;
    int right = -1;
};

} // namespace

TEST_F(Linking, LinkingClosesTheOtherToolsViewerAndCopiesTheView)
{
    // The right side shows a filtered band, shown as the user does it.
    emit window->ui->rightTabWidget->tabBarClicked(0);
    ASSERT_EQ(window->ui->activeSide, 1);
    window->pushButtonFilterFeatureShow_clicked();
    ASSERT_NE(viewer(1, "viewerWidgetToolsFeature"), nullptr);
    ASSERT_EQ(sideValue(1, "featureShowed").toInt(), 1);
    emit window->ui->leftTabWidget->tabBarClicked(0);
    ASSERT_EQ(window->ui->activeSide, 0);
    UI::ViewerWidget* leftMain = viewer(0);
    leftMain->zoomStep(QPointF(10, 10), 2);
    leftMain->centerOn(120, 90);

    window->ui->actionLink_left_right->trigger();
    EXPECT_EQ(window->ui->activeSide, 0);
    EXPECT_EQ(viewer(1, "viewerWidgetToolsFeature"), nullptr);
    EXPECT_EQ(sideValue(1, "featureShowed").toInt(), 0);
    EXPECT_DOUBLE_EQ(viewer(1)->zoom, leftMain->zoom);
    EXPECT_EQ(viewer(1)->zoomIndex, leftMain->zoomIndex);
    EXPECT_EQ(viewer(1)->origin, leftMain->origin);
    EXPECT_TRUE(window->sessionConfig->value("Global/linkWidgets").toBool());

    window->ui->actionLink_left_right->trigger();
    EXPECT_FALSE(window->sessionConfig->value("Global/linkWidgets").toBool());
}

TEST_F(Linking, UnlinkingResetsOnlyASideWithoutData)
{
    window->ui->actionLink_left_right->setChecked(true);
    showOn(1, -1);
    for (int side : {0, 1}) {
        viewer(side)->zoomStep(QPointF(10, 10), 2);
        viewer(side)->centerOn(120, 90);
    }
    const QPoint leftOrigin = viewer(0)->origin;
    window->ui->actionLink_left_right->trigger();
    EXPECT_DOUBLE_EQ(viewer(1)->zoom, 1.0);
    EXPECT_EQ(viewer(1)->origin, QPoint(0, 0));
    EXPECT_NE(viewer(0)->zoom, 1.0);
    EXPECT_EQ(viewer(0)->origin, leftOrigin);
}
