// Curve files and curve adjustment in the real window: KML files written by
// the program's own writer loaded into sets, sets and curves saved, and the
// selected curves pulled onto the edges of the bright-shapes scene.

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include <QFileInfo>
#include <QMenu>
#include <QSettings>

#include "app/test_context_menus.h"
#include "curves_fixture.h"
#include "filter/Filtration.h"
#include "tools/FeatureKeys.h"

namespace {

namespace fs = std::filesystem;
using CurvesTest::curveSet;
using CurvesTest::CurvesWindow;
using CurvesTest::ring;

std::string readText(const fs::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class CurveFiles : public CurvesWindow {
protected:
    // A KML file of the rings written by the data set's own writer.
    QString kml(const std::string& fileName, const std::vector<std::vector<Point2D>>& lists,
                std::vector<std::string> names = {})
    {
        const fs::path path = folder.path() / fileName;
        file->saveCurves(path.string(), "kml", lists, names, {}, {}, {});
        return QString::fromStdString(path.string());
    }

    TestSupport::TempDir folder;
};

std::vector<Point2D> openLine()
{
    return {{30, 30}, {40, 35}, {50, 30}, {60, 35}, {70, 30}};
}

TEST_F(CurveFiles, LoadingTurnsEachFileIntoASet)
{
    struct Expected {
        QString row;                  // the explorer's text of the new set, empty when none
        std::vector<bool> inner;      // of its curves
        std::vector<bool> closed;
        QStringList warnings;
    };
    struct Case {
        const char* name;
        std::function<QString()> write;
        Expected expected;
    };
    const QString prefix = "Unable to open curve file %1. ";
    const std::vector<Case> cases{
        {"a ring clockwise on the screen", [&] { return kml("area.kml", {ring(40, 40, 10)}); },
         {"area.kml", {false}, {true}, {}}},
        {"the name ends at the first dot", [&] { return kml("area.old.kml", {ring(40, 40, 10)}); },
         {"area.old.kml", {false}, {true}, {}}},
        {"a lone ring of negative area is turned round and reported",
         [&] { return kml("hole.kml", {ring(40, 40, 10, 40, true)}); },
         {"hole.kml", {false}, {true},
          {"Some of the curves were oppositely oriented. \nFenlark changed the orientation of 1 curves."}}},
        {"an inner ring inside an outer one stays a hole",
         [&] { return kml("donut.kml", {ring(50, 50, 20), ring(50, 50, 8, 40, true)}); },
         {"donut.kml", {false, true}, {true, true}, {}}},
        {"a lone open curve is neither inner nor turned round", [&] { return kml("line.kml", {openLine()}); },
         {"line.kml", {false}, {false}, {}}},
        {"a curve on the first pixel column rejects the file",
         [&] { return kml("edge.kml", {ring(40, 40, 10), {{0, 10}, {20, 10}, {20, 20}, {0, 10}}}); },
         {"", {}, {}, {prefix + "Curve is not located in loaded data."}}},
        {"a missing file gives the prefix alone",
         [&] { return QString::fromStdString((folder.path() / "missing.kml").string()); },
         {"", {}, {}, {prefix}}},
        {"another extension is refused", [&] {
             const fs::path path = folder.path() / "area.txt";
             fs::copy_file(kml("source.kml", {ring(40, 40, 10)}).toStdString(), path);
             return QString::fromStdString(path.string());
         },
         {"", {}, {}, {prefix + "Unsupporterd file format."}}},
        {"a file whose only curve has no points gives no set", [&] {
             const QString path = kml("empty.kml", {{}}, {"nothing"});
             return path;
         },
         {"", {}, {}, {prefix + "File is corrupted"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        setSets({});
        dialogs.requests.clear();
        const QString path = c.write();
        const int setsBefore = window->curveSetCounter;
        window->loadCurves({path});

        QStringList warnings = c.expected.warnings;
        for (QString& text : warnings)
            text.replace("%1", path);
        EXPECT_EQ(dialogs.messages(), warnings);
        EXPECT_EQ(window->reorientedCurveCount, 0);
        if (c.expected.row.isEmpty()) {
            EXPECT_TRUE(sets().isEmpty());
            EXPECT_EQ(window->curveSetCounter, setsBefore);
            continue;
        }
        ASSERT_EQ(sets().size(), 1);
        ASSERT_EQ(tree->topLevelItemCount(), 1);
        EXPECT_EQ(tree->topLevelItem(0)->text(3), c.expected.row);
        EXPECT_EQ(window->curveSetCounter, setsBefore + 1);
        const UI::CurveSet& set = sets()[0];
        ASSERT_EQ(set.curves.size(), c.expected.inner.size());
        EXPECT_EQ(set.mean, (std::vector<double>{-1.0, -1.0, -1.0}));
        for (std::size_t k = 0; k < set.curves.size(); ++k) {
            EXPECT_EQ(set.curves[k].inner, c.expected.inner[k]) << "curve " << k;
            EXPECT_EQ(set.curves[k].closed, c.expected.closed[k]) << "curve " << k;
            EXPECT_EQ(set.curves[k].segmType, "unknown");
            if (set.curves[k].closed)
                EXPECT_EQ(set.curves[k].area < 0.0, set.curves[k].inner);
        }
    }
    EXPECT_EQ(QSettings().value("folderCurveLoadPath").toString(),
              QFileInfo(QString::fromStdString(folder.path().string())).absoluteFilePath());
}

TEST_F(CurveFiles, EmptyPointListsAreDroppedWithTheirNames)
{
    const QString path = kml("some.kml", {ring(40, 40, 5), {}, ring(80, 80, 5)}, {"a", "b", "c"});
    window->loadCurves({path});
    ASSERT_EQ(sets().size(), 1);
    ASSERT_EQ(sets()[0].curves.size(), 2u);
    EXPECT_EQ(sets()[0].curves[0].name, "a");
    EXPECT_EQ(sets()[0].curves[1].name, "c");

    // Names the reader did not give are made up.
    const int counter = window->curveCounter;
    window->addCurveSetFromCurves("bare", "kml", {ring(40, 40, 5), ring(80, 80, 5)}, {"only"});
    EXPECT_EQ(sets()[1].curves[1].name, "curve_" + std::to_string(counter + 1));
}

TEST_F(CurveFiles, ReversedRingsAreReportedOnceAfterTheLastFile)
{
    const QString a = kml("a.kml", {ring(40, 40, 10, 40, true)});
    const QString b = kml("b.kml", {ring(60, 60, 10, 40, true)});
    window->loadCurves({a, b});
    EXPECT_EQ(dialogs.messages(), QStringList{"Some of the curves were oppositely oriented. \nFenlark changed the "
                                              "orientation of 2 curves."});
    EXPECT_EQ(sets().size(), 2);
}

// Every further curve of a named placemark is named after it ("meadow_1",
// "meadow_2" ...): names the file does not hold. A 64 KiB name over 2,000
// small rings (a 250 KB file) would make 128 MiB of names, copied again into
// the set and the explorer; such a file is refused as corrupted, loaded
// through the explorer's menu, before a name is made.
TEST_F(CurveFiles, NamesFarBeyondTheFileAreRefusedBeforeTheyAreMade)
{
    std::string text = "<kml><Placemark><name>" + std::string(64 * 1024, 'n') + "</name>";
    for (int i = 0; i < 2000; ++i)
        text += "<LinearRing><coordinates>15.04,48.96 15.05,48.96 15.05,48.95 15.04,48.96</coordinates></LinearRing>";
    text += "</Placemark></kml>";
    const std::string path = (folder.path() / "names.kml").string();
    TestSupport::writeFile(path, text);
    dialogs.fileAnswers.append(QStringList{QString::fromStdString(path)});

    const TestSupport::PeakMemory memory;
    std::unique_ptr<QMenu> menu(window->buildCurvesExplorerMenu());
    entry(menu.get(), "Load curves")->trigger();
    EXPECT_LT(memory.peakGrowthKilobytes(), 64L * 1024);
    EXPECT_EQ(dialogs.messages(),
              QStringList{"Unable to open curve file " + QString::fromStdString(path) + ". File is corrupted"});
    EXPECT_TRUE(sets().isEmpty());
    EXPECT_EQ(tree->topLevelItemCount(), 0);
}

TEST_F(CurveFiles, SavedCurveReadsBackAsOnePlacemark)
{
    setSets({curveSet("meadow", {ring(40, 40, 10), ring(80, 80, 6)})});
    select({{0, 1}});
    const std::string chosen = (folder.path() / "single").string();
    dialogs.fileAnswers.append(QStringList{QString::fromStdString(chosen)});
    window->saveCurveAction_triggered(false);

    ASSERT_EQ(dialogs.fileRequests.size(), 1);
    EXPECT_EQ(dialogs.fileRequests[0].caption, "Save curve");
    EXPECT_EQ(dialogs.fileRequests[0].filter, "KML file (*.kml);;All files (*)");
    // No folder stored yet: the bare name, not a path in the root.
    EXPECT_EQ(dialogs.fileRequests[0].directory, "meadow_1");
    EXPECT_TRUE(dialogs.messages().isEmpty());
    ASSERT_TRUE(fs::exists(chosen + ".kml")) << "a name without suffix gets .kml";
    EXPECT_EQ(QSettings().value("folderCurveSavePath").toString(),
              QString::fromStdString(folder.path().string()));

    std::vector<std::vector<Point2D>> lists;
    std::vector<std::string> names;
    file->loadCurves(chosen + ".kml", "kml", lists, names);
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(names, std::vector<std::string>{"meadow_1"});
    EXPECT_NEAR(lists[0][0].x, sets()[0].curves[1].points()[0].x, 1e-6);

    // Next time in the folder of the last save.
    window->saveCurveAction_triggered(false);
    ASSERT_EQ(dialogs.fileRequests.size(), 2);
    EXPECT_EQ(dialogs.fileRequests[1].directory, QString::fromStdString(folder.path().string()) + "/meadow_1");
}

TEST_F(CurveFiles, DirectorySavesStayInsideTheFolderAndReportFailures)
{
    QList<UI::CurveSet> start{curveSet("a/b", {ring(40, 40, 10)}), curveSet("..\\up", {ring(80, 80, 6)})};
    setSets(start);
    const fs::path into = folder.path() / "out";
    fs::create_directories(into);
    dialogs.fileAnswers.append(QStringList{QString::fromStdString(into.string())});
    window->ui->actionSave_All_CurveSets->trigger();
    EXPECT_TRUE(dialogs.messages().isEmpty());
    EXPECT_TRUE(fs::exists(into / "a_b.kml"));
    EXPECT_TRUE(fs::exists(into / ".._up.kml"));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1)
        << "nothing written beside the folder";

    // A folder that cannot take the file: one warning per file, no file.
    const fs::path gone = folder.path() / "gone";
    select({{0, -1}, {1, 0}});
    dialogs.fileAnswers.append(QStringList{QString::fromStdString(gone.string())});
    window->saveAction_triggered(false);
    const QString goneText = QString::fromStdString(gone.string());
    EXPECT_EQ(dialogs.messages(), (QStringList{"Unable to save curve file " + goneText + "/a_b.kml. ",
                                               "Unable to save curve file " + goneText + "/.._up_0.kml. "}));
    EXPECT_FALSE(fs::exists(gone));
}

// ------------------------------------------------------------- adjust

class CurveAdjust : public CurveFiles {
protected:
    void SetUp() override
    {
        CurveFiles::SetUp();
        TestSupport::quietly([&] { window->initFiltration(file->workAreaWidth, file->workAreaHeight); });
        disc = Sample::sceneDiscs(kSize)[0];
    }

    double meanRadius(const UI::Curve& curve) const
    {
        double sum = 0.0;
        for (const Point2D& p : curve.points())
            sum += std::hypot(p.x - disc.centerX, p.y - disc.centerY);
        return sum / static_cast<double>(curve.points().size());
    }

    void adjust(CurveAdjustSettings settings = {})
    {
        dialogs.adjustAnswer = settings;
        TestSupport::quietly([&] { window->curveAdjustAction_triggered(false); });
    }

    Sample::SceneDisc disc;
};

TEST_F(CurveAdjust, PullsTheSelectedCurveOntoTheDiscEdge)
{
    const double start = disc.radius + 2.0;
    setSets({curveSet("three", {ring(90, 90, 6), ring(disc.centerX, disc.centerY, start), ring(90, 60, 5)})}, 0);
    const UI::CurveSet source = sets()[0];
    select({{0, 1}});
    const int setCounter = window->curveSetCounter;
    adjust();

    ASSERT_EQ(dialogs.adjustRequests.size(), 1);
    EXPECT_EQ(dialogs.adjustRequests[0].channels, (QStringList{"B02", "B03", "B04"}));
    EXPECT_TRUE(dialogs.messages().isEmpty());
    ASSERT_EQ(sets().size(), 2);
    const UI::CurveSet& made = sets()[1];
    EXPECT_EQ(made.name, "curveSet_" + std::to_string(setCounter));
    ASSERT_EQ(made.curves.size(), 3u);
    EXPECT_EQ(made.curves[0].points(), source.curves[0].points());
    EXPECT_EQ(made.curves[2].points(), source.curves[2].points());
    for (const UI::Curve& curve : made.curves) {
        EXPECT_EQ(curve.segmType, "adjust");
        EXPECT_TRUE(curve.closed);
        EXPECT_FALSE(curve.inner);
    }
    const double moved = meanRadius(made.curves[1]);
    EXPECT_LT(std::abs(moved - disc.radius), 1.0) << "mean radius " << moved;
    EXPECT_EQ(sets()[0].curves[1].points(), source.curves[1].points()) << "the source stays";
    EXPECT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_EQ(storedIndex(), 0);
    EXPECT_FALSE(window->ui->workingAreaLocked);
    EXPECT_TRUE(window->ui->dockWidgetCurves->isEnabled());
}

TEST_F(CurveAdjust, CancelOrMissingFeaturesAddNothing)
{
    setSets({curveSet("one", {ring(disc.centerX, disc.centerY, disc.radius + 2.0)})});
    select({{0, -1}});
    const auto cached = [&] {
        return file->bands[0].levels[0].cacheSize(Keys::dataCacheToolsAutoEdgeDetectorGradX);
    };
    window->setMainControlsLocked(false);
    dialogs.adjustAnswer.reset();
    window->curveAdjustAction_triggered(false);
    EXPECT_EQ(sets().size(), 1);
    EXPECT_EQ(cached(), 0u);
    EXPECT_TRUE(window->ui->dockWidgetCurves->isEnabled());

    // Bands released under the explorer: the chain computes nothing.
    TestSupport::quietly([&] { file->unloadBandsExcept({}); });
    adjust();
    EXPECT_EQ(sets().size(), 1);
    EXPECT_EQ(dialogs.messages(), QStringList{"Unable to adjust curves: no image features for the chosen channel."});
    EXPECT_TRUE(window->ui->dockWidgetCurves->isEnabled()) << "the finish unlocks the controls";
}

TEST_F(CurveAdjust, OneChannelSideOffersTheRedBandOnlyAndBorderResultsAreDropped)
{
    showOn(0, index, false, {2, 1, 0});
    // An open curve keeps its ends, so the result still starts on column 0.
    setSets({curveSet("edge", {{{0, 60}, {5, 58}, {10, 57}, {15, 58}, {20, 60}, {25, 62}}})});
    select({{0, -1}});
    const int setCounter = window->curveSetCounter;
    adjust({0, 0.3});
    ASSERT_EQ(dialogs.adjustRequests.size(), 1);
    EXPECT_EQ(dialogs.adjustRequests[0].channels, QStringList{"B04"});
    EXPECT_EQ(sets().size(), 1);
    EXPECT_EQ(window->curveSetCounter, setCounter);
}

// ------------------------------------------------------------- context menu

// The explorer's entries whose work processes events (the loading loop, the
// redraw before each adjusted set), chosen in the real menu: the menu
// outlives their handlers and goes afterwards.
TEST_F(CurveAdjust, MenuOutlivesTheEntriesThatProcessEvents)
{
    // The docks are open, as showing a data set opens them.
    window->setToolDocksEnabled(true);
    setSets({curveSet("one", {ring(disc.centerX, disc.centerY, disc.radius + 2.0)})}, 0);
    struct Case {
        const char* entry;
        std::function<void()> prepare;
        QStringList setsAfter;
    };
    const Case cases[] = {
        {"Load curves",
         [&] { dialogs.fileAnswers = {{kml("area.kml", {ring(60, 60, 10)})}}; },
         {"one", "area"}},
        {"Adjust",
         [&] {
             select({{0, -1}});
             dialogs.adjustAnswer = CurveAdjustSettings{};
         },
         // Loading consumed one number of the counter.
         {"one", "area", "curveSet_" + QString::number(window->curveSetCounter + 1)}},
    };
    for (const Case& c : cases) {
        c.prepare();
        ShellTest::MenuChoice choice;
        TestSupport::quietly([&] { choice = ShellTest::chooseContextMenuEntry(tree, c.entry); });
        ShellTest::expectChosenAndOutlived(choice, c.entry);
        EXPECT_EQ(setNames(), c.setsAfter) << c.entry;
        EXPECT_TRUE(dialogs.messages().isEmpty()) << dialogs.messages().join('|').toStdString();
    }
}

} // namespace
