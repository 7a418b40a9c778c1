#include "acquisition/CatalogueReplies.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>

namespace CatalogueReplies {

// The messages are the remote window's texts, translated in its context.

TokenReply readTokenReply(const QByteArray& contentType, const QByteArray& body)
{
    TokenReply reply;
    if (contentType != "application/json") {
        reply.outcome = TokenReply::Outcome::NotJson;
        return reply;
    }

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        reply.outcome = TokenReply::Outcome::BadJson;
        reply.parseError = parseError.errorString();
        return reply;
    }
    if (!document.isObject()) {
        reply.outcome = TokenReply::Outcome::NotObject;
        return reply;
    }

    const QJsonObject answer = document.object();
    reply.accessToken = answer.value(QStringLiteral("access_token")).toString();
    reply.refreshToken = answer.value(QStringLiteral("refresh_token")).toString();
    if (!reply.accessToken.isEmpty()) {
        reply.outcome = TokenReply::Outcome::Token;
        return reply;
    }
    reply.outcome = TokenReply::Outcome::Refused;
    reply.description = answer.value(QStringLiteral("error_description")).toString();
    reply.message = QCoreApplication::translate("RemoteLoader", "Unable to login: %1.").arg(reply.description);
    return reply;
}

bool isJsonMediaType(const QByteArray& contentType)
{
    return contentType.split(';').first().trimmed().toLower() == "application/json";
}

SearchPage readSearchPage(const QByteArray& contentType, const QByteArray& body)
{
    SearchPage result;
    if (!isJsonMediaType(contentType)) {
        result.outcome = SearchPage::Outcome::NotJson;
        return result;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        result.outcome = SearchPage::Outcome::BadJson;
        result.parseError = parseError.errorString();
        return result;
    }
    if (!document.isObject()) {
        result.outcome = SearchPage::Outcome::NotObject;
        return result;
    }
    result.outcome = SearchPage::Outcome::Page;
    result.page = document.object();

    // Only the first "next" link counts, even when it has no address.
    const QJsonArray links =
        result.page.value(QStringLiteral("properties")).toObject().value(QStringLiteral("links")).toArray();
    for (const QJsonValue& link : links) {
        const QJsonObject object = link.toObject();
        if (object.value(QStringLiteral("rel")).toString() != QLatin1String("next"))
            continue;
        result.next = object.value(QStringLiteral("href")).toString();
        break;
    }
    return result;
}

QString searchPageProblem(const SearchPage& page, const QByteArray& contentType, bool earlierPages)
{
    switch (page.outcome) {
    case SearchPage::Outcome::Page:
        return {};
    case SearchPage::Outcome::NotJson:
        return QCoreApplication::translate("RemoteLoader", "The catalogue answered with a page that is not JSON (%1).")
            .arg(QString::fromLatin1(contentType));
    case SearchPage::Outcome::BadJson:
    case SearchPage::Outcome::NotObject:
        break;
    }
    return earlierPages
               ? QCoreApplication::translate("RemoteLoader", "The catalogue answered with a page that cannot be read.")
               : QCoreApplication::translate("RemoteLoader", "No result find");
}

} // namespace CatalogueReplies
