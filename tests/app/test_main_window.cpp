// Start-up and shutdown of the main window: the session copy of the
// defaults, the state defaults, the close confirmation and its clean-up.

#include <memory>

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <gtest/gtest.h>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "resources/Resources.h"
#include "test_main_window_support.h"

using namespace MainWindowTest;

namespace {

class MainWindow : public testing::Test {
protected:
    void SetUp() override
    {
        Fenlark::initResources();
        QSettings native;
        native.remove(QStringLiteral("geometry"));
        native.remove(QStringLiteral("windowState"));
        native.sync();
    }

    std::string path(const std::string& name) const { return (cwd.path() / name).string(); }
    QString qpath(const std::string& name) const { return QString::fromStdString(path(name)); }
    bool exists(const std::string& name) const { return std::filesystem::exists(cwd.path() / name); }

    void writeDefaults() { TestSupport::writeFile(path("default_config.ini"), defaultConfigText()); }

    // A "tmp" folder as a user might keep it, plus one file the program wrote.
    void prepareTmpFolder(UI::FenlarkApp& window)
    {
        std::filesystem::create_directories(cwd.path() / "tmp" / "keep");
        TestSupport::writeFile(path("tmp/notes.txt"), "mine");
        TestSupport::writeFile(path("tmp/keep/inner.txt"), "mine too");
        TestSupport::writeFile(path("tmp/orthophotomosaic_01012024_120000000.jpg"), "image");
        window.wmsManager.recordTmpFile(qpath("tmp/orthophotomosaic_01012024_120000000.jpg"));
    }

    TestSupport::ScopedWorkingDirectory cwd;
};

QStringList sortedKeys(QSettings& settings)
{
    QStringList keys = settings.allKeys();
    keys.sort();
    return keys;
}

} // namespace

TEST_F(MainWindow, SessionFileIsAFreshCopyOfTheDefaults)
{
    writeDefaults();
    // A session file left by a crashed run, with groups the defaults lack.
    TestSupport::writeFile(path("session_config.ini"), "[leftTabWidget]\nfeatureShowed=1\n"
                                                       "[rightTabWidget]\ndataPropertiesRedBand=3\n"
                                                       "[Curve]\nlineWidth=9\nstale=1\n");
    UI::FenlarkApp window;

    ASSERT_TRUE(exists("session_config.ini"));
    QSettings defaults(qpath("default_config.ini"), QSettings::IniFormat);
    QSettings session(qpath("session_config.ini"), QSettings::IniFormat);
    ASSERT_EQ(sortedKeys(defaults).size(), 22);
    EXPECT_EQ(sortedKeys(session), sortedKeys(defaults));
    for (const QString& key : sortedKeys(defaults))
        EXPECT_EQ(session.value(key), defaults.value(key)) << key.toStdString();
    EXPECT_EQ(session.value("Curve/lineWidth").toInt(), 2);
    EXPECT_EQ(session.value("Curve/activeCurveColor").toString(), "255,0,0,255");
    EXPECT_DOUBLE_EQ(session.value("JP2ZipFile/bottomHistCrop").toDouble(), 1.5);
    // The window's own store reads the same.
    EXPECT_EQ(window.sessionConfig->allKeys().size(), 22);
    EXPECT_FALSE(window.sessionConfig->contains("leftTabWidget/featureShowed"));
}

TEST_F(MainWindow, MissingDefaultFileStartsCleanly)
{
    WarningCollector warnings;
    auto window = std::make_unique<UI::FenlarkApp>();
    EXPECT_TRUE(warnings.messages().isEmpty()) << warnings.messages().join("\n").toStdString();
    ASSERT_NE(window->sessionConfig, nullptr);
    EXPECT_TRUE(window->sessionConfig->allKeys().isEmpty());
    EXPECT_TRUE(exists("session_config.ini")) << "the empty session copy is still written";
    EXPECT_FALSE(exists("default_config.ini")) << "the defaults are never written";
}

TEST_F(MainWindow, ConstructionSetsTheStateDefaults)
{
    writeDefaults();
    UI::FenlarkApp window;
    const FenlarkAppUI& ui = *window.ui;

    EXPECT_FALSE(window.isVisible()) << "shown only by the set-up";
    EXPECT_TRUE(window.windowState() & Qt::WindowMaximized);
    EXPECT_EQ(ui.activeSide, 0);
    EXPECT_EQ(ui.otherSide, 1);
    EXPECT_EQ(ui.leftDataIndex, -1);
    EXPECT_EQ(ui.rightDataIndex, -1);
    EXPECT_EQ(ui.pickedCurveSet, -1);
    EXPECT_EQ(ui.pickedCurve, -1);
    EXPECT_EQ(ui.segmentAnchor, (Point2D{-1.0, -1.0}));
    EXPECT_EQ(ui.shapeAnchor, (Point2D{-1.0, -1.0}));
    for (bool flag : {ui.workingAreaLocked, ui.semiSegmentationMode, ui.initCircleMode, ui.initSquareMode,
                      ui.initPolygonMode, ui.localAdjustMode, ui.localAdjustTracking})
        EXPECT_FALSE(flag);
    EXPECT_TRUE(ui.pickedPointIndices.empty());
    EXPECT_TRUE(ui.featureShowedCacheByTab.isEmpty());
    EXPECT_TRUE(ui.mapsShowedNameByTab.isEmpty());
    EXPECT_TRUE(ui.mapsShowedIndexByTab.isEmpty());
    EXPECT_TRUE(ui.splitter.isNull());
    EXPECT_TRUE(ui.leftTabWidget.isNull());
    EXPECT_TRUE(ui.rightTabWidget.isNull());
    // Panel editors stay null until their builders run.
    EXPECT_TRUE(ui.comboBoxShowTypeChannel.isNull());
    EXPECT_TRUE(ui.comboBoxFilterFeature.isNull());
    EXPECT_TRUE(ui.spinBoxSemiMagnetThreshold.isNull());
    EXPECT_TRUE(ui.checkBoxAutoSaveInnerCurves.isNull());
    EXPECT_TRUE(ui.doubleSpinBoxMonitoringLaplacianSensitivity.isNull());
    EXPECT_TRUE(ui.curveColors.isEmpty());
    EXPECT_TRUE(ui.habitatPlotColors.isEmpty());
    EXPECT_EQ(static_cast<int>(FenlarkAppUI::viewerTabWidget::leftTabWidget), 0);
    EXPECT_EQ(static_cast<int>(FenlarkAppUI::viewerTabWidget::rightTabWidget), 1);
    EXPECT_EQ(FenlarkAppUI::DiscontinuousMean, 0);
    EXPECT_EQ(FenlarkAppUI::DiscontinuousMinMax, 1);

    EXPECT_TRUE(window.dataFiles.isEmpty());
    EXPECT_TRUE(window.curveSets.isEmpty());
    EXPECT_TRUE(window.relevancyMaps.isEmpty());
    EXPECT_TRUE(window.viewers.isEmpty());
    EXPECT_EQ(window.curveCounter, 0);
    EXPECT_EQ(window.curveSetCounter, 0);
    EXPECT_EQ(window.reorientedCurveCount, 0);
    EXPECT_EQ(window.relevancyMapCounter, 0);
    EXPECT_EQ(window.filtration, nullptr);
    EXPECT_FALSE(window.taskTimer.isValid());
    EXPECT_FALSE(window.mouseTimer.isValid());
    EXPECT_TRUE(window.selectedNetwork.fileName.empty());
    EXPECT_EQ(window.wmsManager.parent(), nullptr);
    EXPECT_FALSE(window.wmsManager.isVisible());
    EXPECT_TRUE(window.localLoader.isNull());
    EXPECT_TRUE(window.curveManager.isNull());
    EXPECT_EQ(window.orthoAreaCorners, (std::array<double, 4>{0.0, 0.0, 0.0, 0.0}));
}

TEST_F(MainWindow, ConstructionPrintsNoQtWarning)
{
    // A slot named on_<object>_<signal> without its object, or a form
    // property Qt cannot apply, shows up here as a warning.
    writeDefaults();
    WarningCollector warnings;
    auto window = std::make_unique<UI::FenlarkApp>();
    window.reset();
    EXPECT_TRUE(warnings.messages().isEmpty()) << warnings.messages().join("\n").toStdString();
}

// Any answer but Yes (No, Escape on the box, the box closed) keeps everything.
class MainWindowRefusedClose : public MainWindow,
                               public testing::WithParamInterface<QMessageBox::StandardButton> {};

TEST_P(MainWindowRefusedClose, ChangesNothing)
{
    writeDefaults();
    UI::FenlarkApp window;
    prepareTmpFolder(window);
    window.sessionConfig->setValue("leftTabWidget/featureShowed", 1);
    window.sessionConfig->sync();
    const std::string sessionBefore = TestSupport::readFile(path("session_config.ini"));

    RecordedQuestions questions(GetParam());
    QCloseEvent event;
    QCoreApplication::sendEvent(&window, &event);

    EXPECT_FALSE(event.isAccepted());
    ASSERT_EQ(questions.requests.size(), 1);
    EXPECT_EQ(questions.requests[0].kind, MessageBoxRequest::Kind::Question);
    EXPECT_EQ(questions.requests[0].parent, &window);
    EXPECT_EQ(questions.requests[0].title, "Close Confirmation");
    EXPECT_EQ(questions.requests[0].text, "Are you sure you want to exit?");
    EXPECT_EQ(questions.requests[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(questions.requests[0].defaultButton, QMessageBox::NoButton);

    EXPECT_EQ(TestSupport::readFile(path("session_config.ini")), sessionBefore);
    EXPECT_TRUE(exists("tmp/notes.txt"));
    EXPECT_TRUE(exists("tmp/keep/inner.txt"));
    EXPECT_TRUE(exists("tmp/orthophotomosaic_01012024_120000000.jpg"));
    QSettings native;
    EXPECT_FALSE(native.contains("geometry"));
    EXPECT_FALSE(native.contains("windowState"));
    EXPECT_EQ(window.sessionConfig->value("leftTabWidget/featureShowed").toInt(), 1);
}

INSTANTIATE_TEST_SUITE_P(Answers, MainWindowRefusedClose,
                         testing::Values(QMessageBox::No, QMessageBox::Escape, QMessageBox::NoButton));

TEST_F(MainWindow, ConfirmedCloseRemovesTheSessionAndOnlyTheProgramsTmpFiles)
{
    writeDefaults();
    auto window = std::make_unique<UI::FenlarkApp>();
    prepareTmpFolder(*window);
    // The image's world file is the program's too; a user's file that merely
    // looks like a preview is not.
    TestSupport::writeFile(path("tmp/orthophotomosaic_01012024_120000000.tfw"), "world");
    window->wmsManager.recordTmpFile(qpath("tmp/orthophotomosaic_01012024_120000000.tfw"));
    TestSupport::writeFile(path("tmp/pw_01012024_120000000.jpg"), "not written by the program");
    RecordedQuestions questions(QMessageBox::Yes);

    QCloseEvent event;
    QCoreApplication::sendEvent(window.get(), &event);

    EXPECT_TRUE(event.isAccepted());
    EXPECT_EQ(questions.requests.size(), 1);
    EXPECT_FALSE(exists("session_config.ini"));
    EXPECT_FALSE(exists("tmp/orthophotomosaic_01012024_120000000.jpg")) << "the program's own file goes";
    EXPECT_FALSE(exists("tmp/orthophotomosaic_01012024_120000000.tfw")) << "its world file goes with it";
    EXPECT_TRUE(exists("tmp/pw_01012024_120000000.jpg")) << "only recorded files go, whatever their name";
    EXPECT_TRUE(exists("tmp/notes.txt")) << "a user's file in tmp stays";
    EXPECT_TRUE(exists("tmp/keep/inner.txt")) << "sub-folders stay";
    EXPECT_TRUE(exists("default_config.ini"));

    QSettings native;
    EXPECT_FALSE(native.value("geometry").toByteArray().isEmpty());
    EXPECT_FALSE(native.value("windowState").toByteArray().isEmpty());
    EXPECT_EQ(native.organizationName(), QCoreApplication::organizationName());

    // Whatever writes to the session store after the close, the file does not
    // come back when the window goes.
    window->sessionConfig->setValue("leftTabWidget/featureShowed", 0);
    window.reset();
    EXPECT_FALSE(exists("session_config.ini"));
}

TEST_F(MainWindow, ExitActionAsksTheSameConfirmation)
{
    writeDefaults();
    UI::FenlarkApp window;
    RecordedQuestions questions(QMessageBox::No);

    window.ui->actionExit->trigger();
    ASSERT_EQ(questions.requests.size(), 1);
    EXPECT_EQ(questions.requests[0].text, "Are you sure you want to exit?");
    EXPECT_TRUE(exists("session_config.ini"));

    questions.setAnswer(QMessageBox::Yes);
    window.ui->actionExit->trigger();
    EXPECT_EQ(questions.requests.size(), 2);
    EXPECT_FALSE(exists("session_config.ini"));
}

TEST_F(MainWindow, ShownWindowClosesOnYesOnly)
{
    writeDefaults();
    UI::FenlarkApp window;
    window.setupWindow();
    EXPECT_TRUE(window.isVisible());

    RecordedQuestions questions(QMessageBox::No);
    EXPECT_FALSE(window.close());
    EXPECT_TRUE(window.isVisible());
    questions.setAnswer(QMessageBox::Yes);
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(window.isVisible());
}
