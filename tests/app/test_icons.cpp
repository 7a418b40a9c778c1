// Every icon a form or the code names is compiled in and can be read.

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include <QFile>
#include <QImage>
#include <gtest/gtest.h>

#include "resources/Resources.h"
#include "test_main_window_support.h"

namespace {

namespace fs = std::filesystem;

std::string contentOf(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

TEST(Icons, EveryIconNamedByAFormOrTheCodeIsAmongTheResources)
{
    Fenlark::initResources();
    const fs::path sources = MainWindowTest::repositoryFile("src");
    // A full resource path in a form or the code, and a bare icon name in the
    // code (the button helpers put the icon folder before it).
    const std::regex resourcePath(R"(:/FenlarkApp/icons/([A-Za-z0-9_.-]+))");
    const std::regex bareName(R"re("([A-Za-z0-9_-]+\.(png|webp|svg|ico))")re");
    std::set<std::string> named;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(sources)) {
        const std::string suffix = entry.path().extension().string();
        if (suffix != ".ui" && suffix != ".cpp" && suffix != ".h" && suffix != ".qml")
            continue;
        const std::string text = contentOf(entry.path());
        for (auto it = std::sregex_iterator(text.begin(), text.end(), resourcePath); it != std::sregex_iterator(); ++it)
            named.insert((*it)[1].str());
        if (suffix == ".ui")
            continue;
        for (auto it = std::sregex_iterator(text.begin(), text.end(), bareName); it != std::sregex_iterator(); ++it)
            named.insert((*it)[1].str());
    }
    // The scan sees both kinds of naming.
    ASSERT_TRUE(named.count("plus-line.png"));
    ASSERT_TRUE(named.count("eye-look-hide.png"));
    for (const std::string& name : named) {
        const QString path = QStringLiteral(":/FenlarkApp/icons/") + QString::fromStdString(name);
        EXPECT_TRUE(QFile::exists(path)) << name;
        EXPECT_FALSE(QImage(path).isNull()) << name << " is no readable picture";
    }
}
