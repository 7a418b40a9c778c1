// The two "NatNet" exports: the curve statistics file (from the window and
// as text) and the six large statistics files.

#include <filesystem>
#include <fstream>
#include <sstream>

#include "io/NumberText.h"
#include "io/test_kml_locale.h"
#include "statistics_fixture.h"
#include "support/FileSizeLimit.h"
#include "windows/StatisticsExport.h"

namespace {

using namespace StatisticsTest;
namespace fs = std::filesystem;

const RampStatistics kSquare = rampStatistics(10, 10, 10, 1.0);

std::vector<std::string> filesIn(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

// ---------------------------------------------------------------------------
// Curve statistics file
// ---------------------------------------------------------------------------

TEST(CurveStatisticsFile, HeaderNamesTheChoicesAndLinesFollowTheKeyOrder)
{
    UI::CurveSet set;
    set.mean = {-1.0, 1464.5};
    set.std = {-1.0, 287.24283280194};
    set.min = {-1.0, 1010.0};
    set.max = {-1.0, 1234567.0};
    UI::CurveSet other;
    other.resetStatistics(2);
    // Std chosen before Mean, Min and Max.
    const StatisticsExport::CurveStatistics input{{&set, &other}, {1}, {"B03"}, {1, 0, 2, 3}};
    EXPECT_EQ(StatisticsExport::statisticsFileText(input),
              "2,4,FILLnumOfClusters,FILLnumberOfPoitsInCluster,FILLhabitatsNames,param,FILLparameters,"
              "1,B03,4,mean,std,min,max,FILLdateOfS2image,FILLS2tile,\n"
              "1464.5,287.243,1010,1.23457e+06,\n"
              "-1,-1,-1,-1,\n");

    // Two channels given in descending order, one type.
    const StatisticsExport::CurveStatistics two{{&set}, {1, 0}, {"B03", "B02"}, {2}};
    EXPECT_EQ(StatisticsExport::statisticsFileText(two),
              "1,2,FILLnumOfClusters,FILLnumberOfPoitsInCluster,FILLhabitatsNames,param,FILLparameters,"
              "2,B02,B03,1,min,FILLdateOfS2image,FILLS2tile,\n"
              "-1,1010,\n");
}

TEST(CurveStatisticsFile, NumbersIgnoreADecimalCommaLocale)
{
    ScopedDecimalCommaLocale czech;
    if (!czech.active())
        GTEST_SKIP() << czech.reason();
    UI::CurveSet set;
    set.mean = {0.5};
    set.std = {1e-5};
    set.min = {-2.25};
    set.max = {1234.5};
    const StatisticsExport::CurveStatistics input{{&set}, {0}, {"B02"}, {0, 1, 2, 3}};
    EXPECT_EQ(linesOf(StatisticsExport::statisticsFileText(input)).back(), "0.5,1e-05,-2.25,1234.5,");
}

class CurveStatisticsExport : public StatisticsWindowTest {
protected:
    void SetUp() override
    {
        sets = {squareSet("square", {{10, 10, 10}})};
        open({&ground1});
        // One channel, band 0.
        click(window->ui->pushButtonStatisticsUnselectAllChannels);
        clickRow(window->ui->listWidgetStatisticsChannels, 0);
    }

    TestSupport::TempDir dir;
};

TEST_F(CurveStatisticsExport, WritesTheChosenStatisticsAndSaysSo)
{
    const std::string path = dir.file("stats.csv");
    dialogs.fileAnswers = {{QString::fromStdString(path)}};
    window->ui->actionExport_curves_statistics->trigger();

    ASSERT_EQ(dialogs.fileRequests.size(), 1);
    const FileDialogRequest& request = dialogs.fileRequests[0];
    EXPECT_EQ(request.kind, FileDialogRequest::Kind::SaveFile);
    EXPECT_EQ(request.caption, "Save curves statistics");
    EXPECT_EQ(request.directory, "");
    EXPECT_EQ(request.filter, "CSV file (*.csv);;All files (*)");
    EXPECT_EQ(request.parent, window.get());
    EXPECT_EQ(TestSupport::readFile(path),
              "1,4,FILLnumOfClusters,FILLnumberOfPoitsInCluster,FILLhabitatsNames,param,FILLparameters,"
              "1,B02,4,mean,std,min,max,FILLdateOfS2image,FILLS2tile,\n"
              + StatisticsExport::shortNumber(kSquare.mean) + "," + StatisticsExport::shortNumber(kSquare.std) + ","
              + StatisticsExport::shortNumber(kSquare.min) + "," + StatisticsExport::shortNumber(kSquare.max)
              + ",\n");
    EXPECT_EQ(StatisticsExport::shortNumber(kSquare.std), "287.242");
    EXPECT_EQ(dialogs.messageTexts(), QStringList({"Export done"}));
    EXPECT_EQ(dialogs.requests[0].icon, 0);
    // The statistics stay in the set.
    EXPECT_EQ(sets[0].mean[0], kSquare.mean);
}

TEST_F(CurveStatisticsExport, CancelledOrFailedWritesKeepTheEarlierFile)
{
    const std::string path = dir.file("stats.csv");
    TestSupport::writeFile(path, "earlier");
    // Cancelled: no message; the statistics are computed all the same.
    window->ui->actionExport_curves_statistics->trigger();
    EXPECT_TRUE(dialogs.requests.isEmpty());
    EXPECT_EQ(sets[0].mean[0], kSquare.mean);

    struct Case {
        const char* name;
        std::string target;
        rlim_t sizeLimit;  // 0: none
    };
    const std::vector<Case> cases{
        {"the disk fills up", path, 16},
        {"the folder does not exist", dir.file("missing/stats.csv"), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs.requests.clear();
        dialogs.fileAnswers = {{QString::fromStdString(c.target)}};
        {
            std::optional<TestSupport::FileSizeLimit> limit;
            if (c.sizeLimit > 0) {
                limit.emplace(c.sizeLimit);
                if (!limit->active())
                    GTEST_SKIP() << "cannot limit the file size";
            }
            window->ui->actionExport_curves_statistics->trigger();
        }
        EXPECT_EQ(dialogs.messageTexts(), QStringList({"Unable to save file."}));
        EXPECT_EQ(dialogs.requests[0].icon, 2);
        EXPECT_EQ(TestSupport::readFile(path), "earlier");
        EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"stats.csv"});
    }
}

// ---------------------------------------------------------------------------
// Large statistics files
// ---------------------------------------------------------------------------

using Result = StatisticsWindow::LargeExportResult;

// The six files of a folder read in order 0 to 5, each as its lines.
std::vector<std::vector<std::string>> largeFiles(const fs::path& folder)
{
    std::vector<std::vector<std::string>> files;
    for (int k = 0; k < StatisticsExport::kLargeFileCount; ++k)
        files.push_back(linesOf(TestSupport::readFile((folder / StatisticsExport::largeFileName(k)).string())));
    return files;
}

std::vector<double> valuesOf(const std::string& line)
{
    std::vector<double> values;
    std::stringstream stream(line);
    for (std::string field; std::getline(stream, field, ',');)
        values.push_back(*IO::parseDouble(field));
    return values;
}

TEST(LargeStatisticsFiles, ListTheInnerAreaRowByRowWithHandComputedSquares)
{
    // Band 0 is x + 100 y and band 1 twice that: a 3 x 3 square around
    // (x, y) has mean x + 100 y, minimum and maximum 101 below and above it,
    // and the standard deviation sqrt(2/3 (1 + 100^2)).
    const int width = 21;
    const int height = 26;
    RampFile ramp{width, height, 1, "ramp", 2};
    const double spread = std::sqrt(2.0 / 3.0 * (1.0 + 100.0 * 100.0));
    for (int threads : {1, 6}) {
        SCOPED_TRACE(threads);
        TestSupport::TempDir dir;
        Result result = Result::Failed;
        TestSupport::quietly(
            [&] { result = StatisticsWindow::exportLargeStatistics(&ramp, 0, {0, 1}, 1, dir.path().string(), threads); });
        ASSERT_EQ(result, Result::Written);
        std::vector<std::string> lines;
        for (const std::vector<std::string>& file : largeFiles(dir.path()))
            lines.insert(lines.end(), file.begin(), file.end());
        ASSERT_EQ(lines.size(), static_cast<std::size_t>((width - 12) * (height - 12)));
        std::size_t i = 0;
        for (int y = 6; y < height - 6; ++y) {
            for (int x = 6; x < width - 6; ++x, ++i) {
                SCOPED_TRACE(lines[i]);
                const std::vector<double> v = valuesOf(lines[i]);
                ASSERT_EQ(v.size(), 8u);
                EXPECT_NE(lines[i].back(), ',');
                for (int band = 0; band < 2; ++band) {
                    const double f = band + 1.0;
                    const std::size_t at = 4 * static_cast<std::size_t>(band);
                    EXPECT_EQ(v[at], f * (x + 100 * y));
                    EXPECT_NEAR(v[at + 1], f * spread, 1e-9);
                    EXPECT_EQ(v[at + 2], f * (x + 100 * y - 101));
                    EXPECT_EQ(v[at + 3], f * (x + 100 * y + 101));
                }
            }
        }
        // Values are written in the shortest form that reads back.
        EXPECT_EQ(lines[0].substr(0, lines[0].find(',')), "606");
        EXPECT_EQ(filesIn(dir.path()).size(), 6u);
    }
}

TEST(LargeStatisticsFiles, GridSizeDecidesWhatIsWritten)
{
    struct Case {
        const char* name;
        int width;
        int height;
        int radius;
        std::vector<std::size_t> lineCounts;
    };
    const std::vector<Case> cases{
        {"13 x 13: the centre pixel only, by the first thread", 13, 13, 5, {1, 0, 0, 0, 0, 0}},
        {"12 rows: six empty files", 40, 12, 1, {0, 0, 0, 0, 0, 0}},
        {"12 columns: rows without pixels", 12, 30, 1, {0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RampFile file{c.width, c.height, 1, "grid", 1};
        TestSupport::TempDir dir;
        Result result = Result::Failed;
        TestSupport::quietly([&] {
            result = StatisticsWindow::exportLargeStatistics(&file, 0, {0}, c.radius, dir.path().string(), 6);
        });
        ASSERT_EQ(result, Result::Written);
        std::vector<std::size_t> counts;
        for (const std::vector<std::string>& lines : largeFiles(dir.path()))
            counts.push_back(lines.size());
        EXPECT_EQ(counts, c.lineCounts);
    }
}

// A data set whose reads fail.
class UnreadableFile : public RampFile {
public:
    using RampFile::RampFile;
    void readRegion(int, int, int, int, int, int, int, int, std::vector<double>&) override
    {
        throw error::ReadFailed;
    }
};

TEST(LargeStatisticsFiles, FailuresLeaveTheEarlierFiles)
{
    TestSupport::TempDir dir;
    for (int k = 0; k < StatisticsExport::kLargeFileCount; ++k)
        TestSupport::writeFile(dir.file(StatisticsExport::largeFileName(k)), "earlier " + std::to_string(k));
    const std::vector<std::string> names = filesIn(dir.path());

    UnreadableFile unreadable{30, 30, 1, "unreadable", 1};
    RampFile readable{30, 30, 1, "readable", 1};
    Result result = Result::Written;
    TestSupport::quietly([&] {
        result = StatisticsWindow::exportLargeStatistics(&unreadable, 0, {0}, 3, dir.path().string(), 6);
    });
    EXPECT_EQ(result, Result::ReadFailed);
    {
        TestSupport::FileSizeLimit limit(64);
        if (!limit.active())
            GTEST_SKIP() << "cannot limit the file size";
        TestSupport::quietly([&] {
            result = StatisticsWindow::exportLargeStatistics(&readable, 0, {0}, 3, dir.path().string(), 6);
        });
    }
    EXPECT_EQ(result, Result::Failed);
    TestSupport::quietly([&] {
        result = StatisticsWindow::exportLargeStatistics(&readable, 0, {0}, 3, dir.file("missing"), 6);
    });
    EXPECT_EQ(result, Result::Failed);

    EXPECT_EQ(filesIn(dir.path()), names);
    for (int k = 0; k < StatisticsExport::kLargeFileCount; ++k)
        EXPECT_EQ(TestSupport::readFile(dir.file(StatisticsExport::largeFileName(k))), "earlier " + std::to_string(k));
}

class LargeStatisticsExport : public StatisticsWindowTest {
protected:
    TestSupport::ScopedWorkingDirectory cwd;
};

TEST_F(LargeStatisticsExport, AsksForTheRadiusAndWritesSixFilesInTheWorkingDirectory)
{
    sets = {squareSet("square", {{10, 10, 10}})};
    open({&ground1});
    click(window->ui->pushButtonStatisticsUnselectAllChannels);
    clickRow(window->ui->listWidgetStatisticsChannels, 1);

    // Cancelled: nothing.
    window->ui->actionExport_large_file_of_statistics->trigger();
    ASSERT_EQ(dialogs.integerRequests.size(), 1);
    const IntegerInputRequest& request = dialogs.integerRequests[0];
    EXPECT_EQ(request.title, "Chebyshev Radius");
    EXPECT_EQ(request.label, "Set Chebyshev Radius for squares in a large file of statistics:");
    EXPECT_EQ(request.value, 3);
    EXPECT_EQ(request.minimum, 1);
    EXPECT_EQ(request.maximum, 5);
    EXPECT_EQ(request.step, 1);
    EXPECT_EQ(request.parent, window.get());
    EXPECT_TRUE(filesIn(cwd.path()).empty());

    dialogs.integerAnswer = 5;
    TestSupport::quietly([&] { window->ui->actionExport_large_file_of_statistics->trigger(); });
    EXPECT_TRUE(dialogs.requests.isEmpty());
    std::vector<std::string> lines;
    for (const std::vector<std::string>& file : largeFiles(cwd.path()))
        lines.insert(lines.end(), file.begin(), file.end());
    ASSERT_EQ(lines.size(), static_cast<std::size_t>((kSize - 12) * (kSize - 12)));
    // Channel 1 alone (2 (x + 100 y)); an 11 x 11 square at (6, 6).
    const std::vector<double> first = valuesOf(lines.front());
    ASSERT_EQ(first.size(), 4u);
    EXPECT_EQ(first[0], 2.0 * 606);
    EXPECT_EQ(first[2], 2.0 * (606 - 505));
}

// The six files are replaced together or not at all: when one of them cannot
// be replaced (a folder holds its name), the ones renamed before it get their
// earlier version back, no new file stays, nothing temporary is left, and
// the failure is reported.
TEST_F(LargeStatisticsExport, AFileThatCannotBeReplacedKeepsEveryEarlierFile)
{
    struct Case {
        const char* name;
        int folder;    // the file whose name a folder holds
        bool earlier;  // whether the other five exist already
    };
    const std::vector<Case> cases = {
        {"folder as file 3, earlier files", 3, true},
        {"folder as file 0, earlier files", 0, true},
        {"folder as file 5, earlier files", 5, true},
        {"folder as file 3, no earlier files", 3, false},
    };
    sets = {squareSet("square", {{10, 10, 10}})};
    open({&ground1});
    dialogs.integerAnswer = 2;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& entry : fs::directory_iterator(cwd.path()))
            fs::remove_all(entry.path());
        dialogs.requests.clear();
        for (int k = 0; k < StatisticsExport::kLargeFileCount; ++k) {
            const fs::path path = cwd.path() / StatisticsExport::largeFileName(k);
            if (k == c.folder) {
                fs::create_directory(path);
                TestSupport::writeFile((path / "inside.txt").string(), "kept");
            } else if (c.earlier) {
                TestSupport::writeFile(path.string(), "earlier " + std::to_string(k));
            }
        }
        const std::vector<std::string> names = filesIn(cwd.path());

        TestSupport::quietly([&] { window->ui->actionExport_large_file_of_statistics->trigger(); });
        EXPECT_EQ(dialogs.messageTexts(), QStringList({"Unable to save file."}));
        EXPECT_EQ(filesIn(cwd.path()), names);
        for (int k = 0; k < StatisticsExport::kLargeFileCount; ++k) {
            const fs::path path = cwd.path() / StatisticsExport::largeFileName(k);
            if (k == c.folder) {
                EXPECT_TRUE(fs::is_directory(path));
                EXPECT_EQ(TestSupport::readFile((path / "inside.txt").string()), "kept");
            } else if (c.earlier) {
                EXPECT_TRUE(TestSupport::readFile(path.string()) == "earlier " + std::to_string(k))
                    << StatisticsExport::largeFileName(k) << " was replaced";
            }
        }
    }
}

TEST_F(LargeStatisticsExport, AnUnreadableDataSetIsReportedAndNothingWritten)
{
    UnreadableFile unreadable{kSize, kSize, 1, "unreadable"};
    sets = {squareSet("square", {{10, 10, 10}})};
    open({&unreadable});
    dialogs.integerAnswer = 2;
    TestSupport::quietly([&] { window->ui->actionExport_large_file_of_statistics->trigger(); });
    EXPECT_EQ(dialogs.messageTexts(), QStringList({"Unable to read data from file."}));
    EXPECT_EQ(dialogs.requests[0].icon, 2);
    EXPECT_TRUE(filesIn(cwd.path()).empty());
}

} // namespace
