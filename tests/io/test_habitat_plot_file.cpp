// The habitat plot file format as pure functions: splitting lines, the table
// and the code list, writing, unsafe cells and the field meanings.

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "io/HabitatPlotFile.h"
#include "support/TestSupport.h"
#include "test_kml_locale.h"

namespace HPF = IO::HabitatPlotFile;

namespace {

using Fields = std::vector<std::string>;

const std::string header16 =
    "Plot ID;Natura 2000;EUNIS;Habitat;Syntaxon;Community;Latitude;Longitude;Date;Altitude(m);Aspect(degrees);"
    "Slope(degrees);Cover trees;Cover shrubs;Cover herbs;Locality";

Fields fields(int count, const std::string& prefix = "f")
{
    Fields out;
    for (int i = 0; i < count; ++i)
        out.push_back(prefix + std::to_string(i));
    return out;
}

std::string joined(const Fields& parts)
{
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i)
            out += ';';
        out += parts[i];
    }
    return out;
}

} // namespace

TEST(HabitatPlotFile, ColumnTitlesInFieldOrder)
{
    ASSERT_EQ(HPF::fieldCount, 16);
    Fields titles(HPF::columnTitles.begin(), HPF::columnTitles.end());
    EXPECT_EQ(joined(titles), header16);
}

TEST(HabitatPlotFile, SplitLineKeepsEmptyFieldsAndTrimsTheLineOnly)
{
    struct Case {
        std::string line;
        Fields expected;
    };
    const std::vector<Case> cases{
        {"", {""}},
        {"   \t", {""}},
        {"a", {"a"}},
        {";", {"", ""}},
        {"a;;b", {"a", "", "b"}},
        {"  a; b ;c \t\r", {"a", " b ", "c"}},
        {";;;;;;;;;;;;;;;", Fields(16, "")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HPF::splitLine(c.line), c.expected) << "line \"" << c.line << "\"";
}

TEST(HabitatPlotFile, HeaderOfSixteenFieldsOfAnyTextIsAccepted)
{
    const HPF::Table semicolons = HPF::parse(";;;;;;;;;;;;;;;\n");
    EXPECT_TRUE(semicolons.headerValid());
    EXPECT_TRUE(semicolons.rows.empty());

    const HPF::Table plotAsHeader = HPF::parse(joined(fields(16)) + "\n" + joined(fields(16, "g")) + "\n");
    EXPECT_TRUE(plotAsHeader.headerValid());
    ASSERT_EQ(plotAsHeader.rows.size(), 1u);
    EXPECT_EQ(plotAsHeader.rows[0].fields, fields(16, "g"));
}

TEST(HabitatPlotFile, HeaderOfOtherFieldCountsIsRejected)
{
    for (int count : {1, 2, 15, 17, 20}) {
        const HPF::Table table = HPF::parse(joined(fields(count)) + "\n" + joined(fields(16, "g")) + "\n");
        EXPECT_FALSE(table.headerValid()) << count << " fields";
        EXPECT_EQ(table.header.size(), static_cast<std::size_t>(count));
    }
    EXPECT_FALSE(HPF::parse(";;;;;;;;;;;;;;\n").headerValid());  // fourteen ";": 15 fields
    EXPECT_FALSE(HPF::parse("").headerValid());
    EXPECT_FALSE(HPF::parse("\n" + header16 + "\n").headerValid());  // the first line is the header, blank or not
}

TEST(HabitatPlotFile, CrLfAndLfReadAlike)
{
    const std::string lf = header16 + "\n1;A;;n\n2;B;;m\n";
    std::string crlf;
    for (char c : lf) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    const HPF::Table a = HPF::parse(lf);
    const HPF::Table b = HPF::parse(crlf);
    EXPECT_TRUE(b.headerValid());
    ASSERT_EQ(a.rows.size(), 2u);
    ASSERT_EQ(b.rows.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(a.rows[i].fields, b.rows[i].fields);
        EXPECT_EQ(a.rows[i].line, b.rows[i].line);
    }
    EXPECT_EQ(b.rows[1].fields.back(), "m");
}

TEST(HabitatPlotFile, BlanksAtLineEndsAreRemovedInnerBlanksKept)
{
    const HPF::Table table = HPF::parse("  " + header16 + " \t\n \t1; A ;;name with blanks ;x  \n");
    EXPECT_TRUE(table.headerValid());
    EXPECT_EQ(table.header.front(), "Plot ID");
    EXPECT_EQ(table.header.back(), "Locality");
    ASSERT_EQ(table.rows.size(), 1u);
    EXPECT_EQ(table.rows[0].fields, (Fields{"1", " A ", "", "name with blanks ", "x"}));
}

TEST(HabitatPlotFile, RowsKeepTheirFieldCountAndLineNumber)
{
    const std::string text = header16 + "\n" + joined(fields(16)) + "\n" + joined(fields(20)) + "\n" +
                             joined(fields(4)) + "\n" + joined(fields(15)) + "\n" + "7\n" + "1;2;3\n";
    const HPF::Table table = HPF::parse(text);
    ASSERT_EQ(table.rows.size(), 6u);
    const std::vector<std::size_t> counts{16, 20, 4, 15, 1, 3};
    for (std::size_t i = 0; i < counts.size(); ++i) {
        EXPECT_EQ(table.rows[i].fields.size(), counts[i]) << "row " << i;
        EXPECT_EQ(table.rows[i].line, static_cast<int>(i) + 2);
    }
    EXPECT_EQ(HPF::fieldCountProblem(table.rows[0]), "");
    EXPECT_EQ(HPF::fieldCountProblem(table.rows[1]), "line 3: 20 fields instead of 16");
    EXPECT_EQ(HPF::fieldCountProblem(table.rows[2]), "line 4: 4 fields instead of 16");
    EXPECT_EQ(HPF::fieldCountProblem(table.rows[3]), "line 5: 15 fields instead of 16");
    EXPECT_EQ(HPF::fieldCountProblem(HPF::Row{7, fields(8)}), "line 7: 8 fields instead of 16");
}

TEST(HabitatPlotFile, BlankLinesAreSkippedButCounted)
{
    const HPF::Table table = HPF::parse(header16 + "\n1;a\n\n   \n\r\n2;b\n\n");
    ASSERT_EQ(table.rows.size(), 2u);
    EXPECT_EQ(table.rows[0].line, 2);
    EXPECT_EQ(table.rows[1].line, 6);
    EXPECT_EQ(table.rows[1].fields, (Fields{"2", "b"}));
}

TEST(HabitatPlotFile, LastLineWithoutLineEndIsKept)
{
    const HPF::Table table = HPF::parse(header16 + "\n1;a\n2;b");
    ASSERT_EQ(table.rows.size(), 2u);
    EXPECT_EQ(table.rows[1].fields, (Fields{"2", "b"}));
    EXPECT_EQ(table.rows[1].line, 3);

    const HPF::Table headerOnly = HPF::parse(header16);
    EXPECT_TRUE(headerOnly.headerValid());
    EXPECT_TRUE(headerOnly.rows.empty());
}

TEST(HabitatPlotFile, ByteOrderMarkIsSkipped)
{
    const HPF::Table table = HPF::parse("\xEF\xBB\xBF" + header16 + "\n1;a\n");
    EXPECT_TRUE(table.headerValid());
    EXPECT_EQ(table.header.front(), "Plot ID");
    const HPF::CodeList list = HPF::parseCodeList("\xEF\xBB\xBF" "6510;Meadows\n");
    ASSERT_TRUE(list.headerValid);
    EXPECT_EQ(list.entries.front().first, "6510");
}

TEST(HabitatPlotFile, CodeListFirstLineMustHaveTwoFields)
{
    const HPF::CodeList good = HPF::parseCodeList("6510;Lowland hay meadows\r\n91E0;Alluvial forests\n");
    EXPECT_TRUE(good.headerValid);
    ASSERT_EQ(good.entries.size(), 2u);
    EXPECT_EQ(good.entries[0], (std::pair<std::string, std::string>{"6510", "Lowland hay meadows"}));
    EXPECT_EQ(good.entries[1], (std::pair<std::string, std::string>{"91E0", "Alluvial forests"}));

    for (const std::string& text : {std::string("6510;Meadows;extra\n91E0;Forests\n"), std::string("6510\n91E0;F\n"),
                                    std::string(""), std::string("\n91E0;F\n")}) {
        const HPF::CodeList bad = HPF::parseCodeList(text);
        EXPECT_FALSE(bad.headerValid) << text;
        EXPECT_TRUE(bad.entries.empty()) << text;
    }
}

TEST(HabitatPlotFile, CodeListLaterLinesTakeTwoFieldsSkipShortOnesKeepOrder)
{
    const HPF::CodeList list =
        HPF::parseCodeList("A;first\n\nB;b;ignored;too\nlonely\n   \nA;second\n C ; c \n");
    EXPECT_TRUE(list.headerValid);
    const std::vector<std::pair<std::string, std::string>> expected{
        {"A", "first"}, {"B", "b"}, {"A", "second"}, {"C ", " c"}};
    EXPECT_EQ(list.entries, expected);
}

TEST(HabitatPlotFile, FormatWritesHeaderAndSixteenFieldsPerRowWithLf)
{
    const std::vector<Fields> rows{fields(16), {"1", "A"}, fields(18), Fields(16, ""), {}, {"", "", "", "x"}};
    const std::string text = HPF::format(rows);
    const std::string expected = header16 + "\n" + joined(fields(16)) + "\n" + "1;A;;;;;;;;;;;;;;\n" +
                                 joined(fields(16)) + "\n" + ";;;x;;;;;;;;;;;;\n";
    EXPECT_EQ(text, expected);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_EQ(HPF::format({}), header16 + "\n");
}

TEST(HabitatPlotFile, FormatThenParseGivesTheRowsBack)
{
    const std::vector<Fields> rows{
        {"1", "6510", "R22", "Lowland hay meadows", "Arrhenatherion", "c1", "48.1234567", "17.7654321", "2021.6.30",
         "150", "180", "5", "0", "10", "90", "Meadow near the river"},
        {"2", "91E0", "", "Alluvial forests", "", "", "48.2", "17.8", "", "", "", "", "", "", "", ""},
        {"3", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "Lučina"},
    };
    const HPF::Table table = HPF::parse(HPF::format(rows));
    EXPECT_TRUE(table.headerValid());
    ASSERT_EQ(table.rows.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(table.rows[i].fields, rows[i]);
}

TEST(HabitatPlotFile, UnsafeCellsAreFoundByRowAndColumn)
{
    std::vector<Fields> rows{fields(16), fields(16), fields(3)};
    EXPECT_FALSE(HPF::findUnsafeCell(rows).has_value());
    rows[1][15] = "a;b";
    EXPECT_EQ(HPF::findUnsafeCell(rows), (std::pair<int, int>{1, 15}));
    rows[1][2] = "line\nbreak";
    EXPECT_EQ(HPF::findUnsafeCell(rows), (std::pair<int, int>{1, 2}));
    rows[0][7] = "cr\r";
    EXPECT_EQ(HPF::findUnsafeCell(rows), (std::pair<int, int>{0, 7}));

    // Fields past the sixteenth are never written, so they are never unsafe.
    std::vector<Fields> long_{fields(17)};
    long_[0][16] = ";";
    EXPECT_FALSE(HPF::findUnsafeCell(long_).has_value());
}

TEST(HabitatPlotFile, NumberFields)
{
    EXPECT_DOUBLE_EQ(HPF::numberField("14.43"), 14.43);
    EXPECT_DOUBLE_EQ(HPF::numberField(" -0.5 "), -0.5);
    EXPECT_DOUBLE_EQ(HPF::numberField("1e2"), 100.0);
    EXPECT_EQ(HPF::numberField("abc"), 0.0);
    EXPECT_EQ(HPF::numberField(""), 0.0);
    EXPECT_EQ(HPF::numberField("14,43"), 0.0);
    EXPECT_EQ(HPF::numberField("14.43x"), 0.0);

    EXPECT_EQ(HPF::integerField("12"), 12);
    EXPECT_EQ(HPF::integerField(" -3 "), -3);
    EXPECT_EQ(HPF::integerField("abc"), 0);
    EXPECT_EQ(HPF::integerField("12.0"), 0);
    EXPECT_EQ(HPF::integerField("99999999999"), 0);
}

TEST(HabitatPlotFile, NumberFieldsIgnoreACommaDecimalLocale)
{
    ScopedDecimalCommaLocale czech;
    if (!czech.active())
        GTEST_SKIP() << czech.reason();
    EXPECT_DOUBLE_EQ(HPF::numberField("14.43"), 14.43);
    EXPECT_EQ(HPF::numberField("14,43"), 0.0);
    EXPECT_EQ(HPF::integerField("1 000"), 0);
    EXPECT_EQ(HPF::dateField("2021.6.30"), (std::array<int, 3>{2021, 6, 30}));
}

TEST(HabitatPlotFile, DateFields)
{
    EXPECT_EQ(HPF::dateField("2021.6.30"), (std::array<int, 3>{2021, 6, 30}));
    // Three parts are taken as year, month and day whatever they hold; the
    // caller's date of (30, 6, 2021) is then invalid.
    EXPECT_EQ(HPF::dateField("30.06.2021"), (std::array<int, 3>{30, 6, 2021}));
    EXPECT_EQ(HPF::dateField("2021.x.30"), (std::array<int, 3>{2021, 0, 30}));
    EXPECT_EQ(HPF::dateField("2021-06-30"), std::nullopt);
    EXPECT_EQ(HPF::dateField("2021.6"), std::nullopt);
    EXPECT_EQ(HPF::dateField("2021.6.30.1"), std::nullopt);
    EXPECT_EQ(HPF::dateField(""), std::nullopt);
}

// The readers' ceilings at their edges: the lines that are not blank after
// the first and the fields of all lines, counted before any is split. A text
// beyond one is refused whole, as a plot table and as a code list.
TEST(HabitatPlotFile, TextsBeyondTheLinesOrFieldsCeilingAreRefusedWhole)
{
    std::string lines = header16 + "\n";
    for (std::size_t i = 0; i < HPF::maxRows; ++i)
        lines += "1\n";
    struct Case {
        const char* name;
        std::string text;
        bool tooLarge;
    };
    const Case cases[] = {
        {"as many lines as read", lines, false},
        {"blank lines are not counted", lines + "\n  \r\n", false},
        {"a line more", lines + "2", true},
        {"as many fields as read", std::string(HPF::maxFields - 1, ';'), false},
        {"a field more", std::string(HPF::maxFields, ';'), true},
        {"a field more over two lines", std::string(HPF::maxFields - 2, ';') + "\n;", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const HPF::Table table = HPF::parse(c.text);
        EXPECT_EQ(table.tooLarge, c.tooLarge);
        const HPF::CodeList list = HPF::parseCodeList(c.text);
        EXPECT_EQ(list.tooLarge, c.tooLarge);
        if (c.tooLarge) {
            EXPECT_FALSE(table.headerValid());
            EXPECT_TRUE(table.header.empty());
            EXPECT_TRUE(table.rows.empty());
            EXPECT_TRUE(list.entries.empty());
        }
    }
    EXPECT_EQ(HPF::parse(lines).rows.size(), HPF::maxRows);
}

// A file is read whole up to the size ceiling; a larger one is not read. The
// sparse files take no disk.
TEST(HabitatPlotFile, FilesAreReadUpToTheSizeCeiling)
{
    TestSupport::TempDir dir;
    const std::string atCeiling = dir.file("at.csv");
    TestSupport::writeFile(atCeiling, header16 + "\n");
    std::filesystem::resize_file(atCeiling, HPF::maxFileBytes);
    const std::string over = dir.file("over.csv");
    TestSupport::writeFile(over, header16 + "\n");
    std::filesystem::resize_file(over, HPF::maxFileBytes + 1);

    std::string text = "old";
    EXPECT_EQ(HPF::readFile(atCeiling, text), HPF::ReadStatus::Read);
    EXPECT_EQ(text.size(), HPF::maxFileBytes);
    EXPECT_TRUE(HPF::parse(text).headerValid());
    EXPECT_TRUE(HPF::parse(text + "x").tooLarge);
    text.clear();
    text.shrink_to_fit();

    const TestSupport::PeakMemory memory;
    EXPECT_EQ(HPF::readFile(over, text), HPF::ReadStatus::TooLarge);
    EXPECT_LT(memory.peakGrowthKilobytes(), 8L * 1024);
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(HPF::readFile(dir.file("missing.csv"), text), HPF::ReadStatus::CannotOpen);
    EXPECT_EQ(HPF::readFile(dir.path().string(), text), HPF::ReadStatus::CannotOpen);
}

// A reader names the first few rows it skipped and counts the rest, so a
// table of many faulty rows still makes a message of a few lines.
TEST(HabitatPlotFile, ProblemsAreNamedUpToTheCeilingAndCountedBeyond)
{
    HPF::ProblemLines problems;
    EXPECT_TRUE(problems.empty());
    for (std::size_t i = 1; i <= HPF::namedProblemLines; ++i)
        problems.add("line " + std::to_string(i));
    EXPECT_FALSE(problems.empty());
    EXPECT_EQ(problems.text("; "), "line 1; line 2; line 3; line 4; line 5; line 6; line 7; line 8; line 9; line 10");
    for (int i = 0; i < 99989; ++i)
        problems.add("line x");
    EXPECT_EQ(problems.text("\n"), "line 1\nline 2\nline 3\nline 4\nline 5\nline 6\nline 7\nline 8\nline 9\nline 10\n"
                                   "... and 99989 more lines");
}
