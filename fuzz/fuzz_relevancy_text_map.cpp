// Text relevancy maps as Combine reads them: the size line and the values of
// one map, or of two maps (the input split at a line "--"), combined into a
// third file.

#include <cstdio>
#include <fstream>
#include <string>

#include <QtGlobal>

#include "FuzzSupport.h"
#include "app/FenlarkApp.h"
#include "io/NumberText.h"
#include "io/StringUtils.h"
#include "workflows/RelevancyMapRules.h"

namespace {

void silent(QtMsgType, const QMessageLogContext&, const QString&) {}

// The combined file: the first map's size line, then one value in [0, 1]
// for each of its pixels.
void requireCombinedMap(const std::string& path, const RelevancyMaps::TextMapHeader& size)
{
    std::ifstream in(path, std::ios::binary);
    std::string line;
    FuzzSupport::require(readTextLine(in, line) && line == "P2", "the combined map starts with P2");
    RelevancyMaps::TextMapHeader written;
    FuzzSupport::require(readTextLine(in, line) && RelevancyMaps::parseTextMapSize(line, written)
                             && written.width == size.width && written.height == size.height,
                         "the combined map has the first map's size");
    FuzzSupport::require(readTextLine(in, line) && line == "1", "the combined map's third line is 1");
    long long values = 0;
    while (readTextLine(in, line)) {
        const auto value = IO::parseDouble(line);
        FuzzSupport::require(value && *value >= 0.0 && *value <= 1.0, "combined values lie in [0, 1]");
        ++values;
    }
    FuzzSupport::require(values == static_cast<long long>(size.width) * size.height,
                         "one combined value per pixel");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzSupport::quiet();
    static const bool muted = [] {
        qInstallMessageHandler(silent);
        return true;
    }();
    (void)muted;

    const std::string input(FuzzSupport::text(data, size));
    const std::size_t split = input.find("\n--\n");
    QList<QString> files;
    const std::string first = input.substr(0, split);
    files.append(QString::fromStdString(FuzzSupport::writeInput(
        "first.pgm", reinterpret_cast<const std::uint8_t*>(first.data()), first.size())));
    if (split != std::string::npos) {
        const std::string second = input.substr(split + 4);
        files.append(QString::fromStdString(FuzzSupport::writeInput(
            "second.pgm", reinterpret_cast<const std::uint8_t*>(second.data()), second.size())));
    }
    const std::string out = FuzzSupport::scratchFolder() + "/combined.pgm";
    std::remove(out.c_str());

    const bool combined = UI::FenlarkApp::combineRelevancyMaps(files, QString::fromStdString(out));
    std::ifstream written(out, std::ios::binary);
    if (!combined) {
        FuzzSupport::require(!written, "a refused combination writes no file");
        return 0;
    }
    // Combined: the first map had a readable size line.
    std::ifstream firstMap(files.first().toStdString(), std::ios::binary);
    std::string line;
    RelevancyMaps::TextMapHeader header;
    FuzzSupport::require(readTextLine(firstMap, line) && readTextLine(firstMap, line)
                             && RelevancyMaps::parseTextMapSize(line, header),
                         "a combined first map has a size line");
    requireCombinedMap(out, header);
    return 0;
}
