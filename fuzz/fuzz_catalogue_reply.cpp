// The remote catalogue's replies: the token reply of the account service and
// a page of a product search, read as the remote window reads them, and the
// page's features walked as the result list and the details walk them.
//
// The first byte picks the Content-Type from the table below (the last entry
// takes the input's next line as the header); the rest is the body.

#include <algorithm>
#include <cstring>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include "FuzzSupport.h"
#include "acquisition/CatalogueReplies.h"

namespace {

const char* const contentTypes[] = {
    "application/json",
    "application/json; charset=utf-8",
    " Application/JSON ;",
    "text/html",
    "",
};
constexpr std::size_t tableSize = sizeof(contentTypes) / sizeof(contentTypes[0]);

void walkFeatures(const QJsonObject& page)
{
    const QJsonArray features = page.value(QStringLiteral("features")).toArray();
    for (const QJsonValue& feature : features) {
        const QJsonObject properties = feature.toObject().value(QStringLiteral("properties")).toObject();
        const QString title = properties.value(QStringLiteral("title")).toString();
        (void)title.left(std::max<qsizetype>(0, title.size() - 5));
        for (const char* key : {"status", "title", "startDate", "completionDate", "processingLevel", "thumbnail"})
            (void)properties.value(QLatin1String(key)).toString();
        for (const char* key : {"snowCover", "cloudCover"})
            (void)QString::number(properties.value(QLatin1String(key)).toDouble(), 'g', 6);
        (void)properties.value(QStringLiteral("services"))
            .toObject()
            .value(QStringLiteral("download"))
            .toObject()
            .value(QStringLiteral("url"))
            .toString();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const char* rest = reinterpret_cast<const char*>(data) + 1;
    qsizetype restSize = static_cast<qsizetype>(size - 1);
    QByteArray contentType;
    const std::size_t pick = data[0] % (tableSize + 1);
    if (pick < tableSize) {
        contentType = contentTypes[pick];
    } else {
        const char* end = static_cast<const char*>(std::memchr(rest, '\n', static_cast<std::size_t>(restSize)));
        const qsizetype length = end ? end - rest : restSize;
        contentType = QByteArray(rest, length);
        rest += std::min(length + 1, restSize);
        restSize -= std::min(length + 1, restSize);
    }
    const QByteArray body(rest, restSize);

    using namespace CatalogueReplies;
    const TokenReply token = readTokenReply(contentType, body);
    FuzzSupport::require(token.outcome != TokenReply::Outcome::Token || !token.accessToken.isEmpty(),
                         "a token reply has a token");
    FuzzSupport::require(token.outcome != TokenReply::Outcome::Refused
                             || (token.accessToken.isEmpty()
                                 && token.message.startsWith(QLatin1String("Unable to login: "))),
                         "a refusal has no token and says why");

    const SearchPage page = readSearchPage(contentType, body);
    const bool earlier = (data[0] & 0x80) != 0;
    const QString problem = searchPageProblem(page, contentType, earlier);
    FuzzSupport::require(problem.isEmpty() == (page.outcome == SearchPage::Outcome::Page),
                         "a page ends the search with a message exactly when it cannot be used");
    FuzzSupport::require(page.outcome == SearchPage::Outcome::Page || (page.page.isEmpty() && page.next.isEmpty()),
                         "a page that cannot be used lists nothing");
    // The token reply wants exactly the media type the pages accept.
    if (token.outcome != TokenReply::Outcome::NotJson) {
        FuzzSupport::require(page.outcome != SearchPage::Outcome::NotJson, "the token's media type is a page's");
        FuzzSupport::require((token.outcome == TokenReply::Outcome::BadJson)
                                 == (page.outcome == SearchPage::Outcome::BadJson),
                             "both readers agree on the JSON");
    }
    if (page.outcome == SearchPage::Outcome::Page)
        walkFeatures(page.page);
    return 0;
}
