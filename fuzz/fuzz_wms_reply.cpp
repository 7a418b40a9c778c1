// The acceptance of a complete WMS reply: the body, saved as the download's
// part file, with a Content-Type picked by the first byte from the table
// below (the last entry takes the input's next line as the header).

#include <algorithm>
#include <cstring>

#include <QCoreApplication>
#include <QString>

#include "FuzzSupport.h"
#include "acquisition/FileDownloaderWms.h"

namespace {

const char* const contentTypes[] = {
    "image/png",
    "image/jpeg",
    "IMAGE/PNG; mode=8bit",
    "application/vnd.ogc.se_xml",
    "text/xml; charset=UTF-8",
    "text/html",
    "",
};
constexpr std::size_t tableSize = sizeof(contentTypes) / sizeof(contentTypes[0]);

// The image format plugins are found through the application's library paths.
void application()
{
    static int argc = 1;
    static char name[] = "fuzz_wms_reply";
    static char* argv[] = {name, nullptr};
    static const QCoreApplication* app =
        QCoreApplication::instance() ? QCoreApplication::instance() : new QCoreApplication(argc, argv);
    (void)app;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    application();
    const char* rest = reinterpret_cast<const char*>(data) + 1;
    std::size_t restSize = size - 1;
    QString contentType;
    const std::size_t pick = data[0] % (tableSize + 1);
    if (pick < tableSize) {
        contentType = QString::fromLatin1(contentTypes[pick]);
    } else {
        const char* end = static_cast<const char*>(std::memchr(rest, '\n', restSize));
        const std::size_t length = end ? static_cast<std::size_t>(end - rest) : restSize;
        contentType = QString::fromLatin1(rest, static_cast<qsizetype>(length));
        const std::size_t used = std::min(length + 1, restSize);
        rest += used;
        restSize -= used;
    }
    const std::string path =
        FuzzSupport::writeInput("reply.png.part", reinterpret_cast<const std::uint8_t*>(rest), restSize);

    const QString refusal = wmsReplyRefusal(contentType, QString::fromStdString(path));
    FuzzSupport::require(refusal.isEmpty() || refusal.startsWith(QLatin1String("WMS service error: ")),
                         "a refusal names the service error");
    FuzzSupport::require(!refusal.isEmpty()
                             || contentType.section(QLatin1Char(';'), 0, 0).trimmed().toLower().startsWith(
                                 QLatin1String("image/")),
                         "only an image content type is accepted");
    return 0;
}
