// Settings of the main window: the key texts, the shipped defaults, the
// colour reader and the process locale set up by main.

#include <clocale>
#include <cstdlib>
#include <set>
#include <string>

#include <QCoreApplication>
#include <QLocale>
#include <QSettings>
#include <gtest/gtest.h>

#include "app/SessionConfig.h"
#include "app/SettingsKeys.h"
#include "app/Startup.h"
#include "test_main_window_support.h"

using namespace MainWindowTest;

TEST(SettingsKeys, SeventySevenConstantsWithSeventyFiveTexts)
{
    std::vector<std::string> all;
    for (const char* key : Keys::defaultConfigKeys)
        all.emplace_back(key);
    for (const char* key : Keys::sideStateKeys)
        all.emplace_back(key);
    for (const char* key : Keys::sideGroupNames)
        all.emplace_back(key);
    for (const char* key : Keys::computedImageKeys)
        all.emplace_back(key);
    for (const char* key : Keys::viewerNames)
        all.emplace_back(key);
    EXPECT_EQ(all.size(), 77u);
    EXPECT_EQ(std::set<std::string>(all.begin(), all.end()).size(), 75u);

    // The filtering panel's gradients are the semi-automatic panel's entries.
    EXPECT_STREQ(Keys::dataCacheToolsFilterGradX, Keys::dataCacheToolsSemiGradX);
    EXPECT_STREQ(Keys::dataCacheToolsFilterGradY, Keys::dataCacheToolsSemiGradY);
    EXPECT_STREQ(Keys::dataCacheToolsSemiGradX, "dataCacheToolsSemiGradX");
    EXPECT_STREQ(Keys::leftTabWidget, "leftTabWidget");
    EXPECT_STREQ(Keys::viewerWidgetToolsMaps, "viewerWidgetToolsMaps");
    EXPECT_STREQ(Keys::globalLinkWidgets, "Global/linkWidgets");
}

TEST(SettingsKeys, ShippedDefaultsHoldExactlyTheTwentyTwoKeys)
{
    const auto file = repositoryFile("default_config.ini");
    ASSERT_TRUE(std::filesystem::exists(file)) << file;
    QSettings defaults(QString::fromStdString(file.string()), QSettings::IniFormat);
    QStringList keys = defaults.allKeys();
    keys.sort();
    QStringList expected;
    for (const char* key : Keys::defaultConfigKeys)
        expected << key;
    expected.sort();
    EXPECT_EQ(keys, expected);

    // Every colour key reads as a colour, every number key as a number.
    for (const char* key : {Keys::curveCurrentCurveColor, Keys::curveActiveCurveColor, Keys::curveUnactiveCurveColor,
                            Keys::habitatPlotMarkColor, Keys::habitatPlotSelectedMarkColor}) {
        QColor colour;
        colorFromSetting(defaults.value(key), colour);
        EXPECT_TRUE(colour.isValid()) << key;
    }
    for (const char* key : {Keys::curveLineWidth, Keys::jp2ZipFileWorkingWidth, Keys::jp2ZipFileWorkingHeight,
                            Keys::habitatPlotMarkWidth, Keys::jp2ZipFileChannelType}) {
        bool ok = false;
        EXPECT_GT(defaults.value(key).toInt(&ok), 0) << key;
        EXPECT_TRUE(ok) << key;
    }
}

TEST(SessionColours, QuotedAndUnquotedColoursReadTheSame)
{
    TestSupport::ScopedWorkingDirectory cwd;
    TestSupport::writeFile("colours.ini", "[Curve]\n"
                                          "quoted=\"255,0,0,128\"\n"
                                          "unquoted=255,0,0,128\n"
                                          "three=10,20,30\n"
                                          "five=\"10,20,30,40,50\"\n"
                                          "notNumber=\"10,x,30,40\"\n");
    QSettings ini("colours.ini", QSettings::IniFormat);
    ASSERT_EQ(ini.value("Curve/unquoted").typeId(), QMetaType::QStringList) << "the INI reader splits it";

    const QColor untouched(1, 2, 3, 4);
    struct Case {
        const char* key;
        QColor expected;
    };
    const Case cases[] = {
        {"Curve/quoted", QColor(255, 0, 0, 128)},
        {"Curve/unquoted", QColor(255, 0, 0, 128)},
        {"Curve/three", untouched},
        {"Curve/five", untouched},
        {"Curve/notNumber", QColor(10, 0, 30, 40)},
        {"Curve/missing", untouched},
    };
    for (const Case& c : cases) {
        QColor colour = untouched;
        colorFromSetting(ini.value(c.key), colour);
        EXPECT_EQ(colour, c.expected) << c.key;
    }
}

namespace {

// Puts the C library's numbers into a decimal-comma locale, as a Czech
// desktop session would: cs_CZ.UTF-8, compiled with localedef (once per
// build, see TestSupport::compiledLocale) when the system does not have it.
// False when neither works on this machine.
bool switchToDecimalCommaLocale()
{
    if (std::setlocale(LC_NUMERIC, "cs_CZ.UTF-8"))
        return true;
    const std::string folder = TestSupport::compiledLocale("cs_CZ.UTF-8").string();
    if (folder.empty())
        return false;
    ::setenv("LOCPATH", folder.c_str(), 1);
    return std::setlocale(LC_NUMERIC, "cs_CZ.UTF-8") != nullptr;
}

} // namespace

TEST(Startup, NumbersUseTheDotWhateverTheUsersLocale)
{
    const QLocale previousDefault;
    const QString previousOrganisation = QCoreApplication::organizationName();
    const QString previousApplication = QCoreApplication::applicationName();
    const char* previousLocPath = std::getenv("LOCPATH");
    const std::string savedLocPath = previousLocPath ? previousLocPath : "";

    // The user's locale as the toolkit installs it on start.
    const bool commaLocale = switchToDecimalCommaLocale();
    QLocale::setDefault(QLocale(QLocale::Czech, QLocale::Czechia));
    if (commaLocale) {
        EXPECT_EQ(std::strtod("14.43", nullptr), 14.0) << "the comma locale stops the C parser at the dot";
    }
    EXPECT_EQ(QLocale().toString(14.43), "14,43");

    Startup::prepareApplication();
    Startup::restoreNumericLocale();

    EXPECT_EQ(std::strtod("14.43", nullptr), 14.43);
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    EXPECT_EQ(QLocale().toString(1234.5), "1234.5");
    EXPECT_EQ(QLocale().toDouble("14.43"), 14.43);
    EXPECT_EQ(QCoreApplication::organizationName(), "Korvalin");
    EXPECT_EQ(QCoreApplication::applicationName(), "Fenlark");

    QLocale::setDefault(previousDefault);
    QCoreApplication::setOrganizationName(previousOrganisation);
    QCoreApplication::setApplicationName(previousApplication);
    std::setlocale(LC_NUMERIC, "C");
    if (previousLocPath)
        ::setenv("LOCPATH", savedLocPath.c_str(), 1);
    else
        ::unsetenv("LOCPATH");
    if (!commaLocale)
        GTEST_SKIP() << "no decimal-comma C locale on this machine; the Qt part was checked";
}
