#pragma once

// The remote catalogue's replies read from their bytes: the account
// service's token reply and one page of a product search. Nothing here
// touches the network or a window; the remote window hands over the reply's
// Content-Type header (raw, as sent) and its body, and acts on the result.

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace CatalogueReplies {

// The reply to a password grant.
struct TokenReply {
    enum class Outcome {
        NotJson,   // Content-Type is not exactly "application/json"
        BadJson,   // the body is no JSON document (parseError says why)
        NotObject, // a JSON document that is not an object
        Token,     // an object with a non-empty access_token
        Refused,   // an object without one (message holds the service's reason)
    };
    Outcome outcome = Outcome::NotJson;
    // The object's access_token and refresh_token (empty when absent).
    QString accessToken;
    QString refreshToken;
    // BadJson: the JSON parser's text, for the log.
    QString parseError;
    // Refused: "Unable to login: <error_description>."
    QString message;
    // Refused: the service's error_description itself (may be empty).
    QString description;
};

// The identity service answers with exactly "application/json"; anything
// else (a proxy's HTML page, a parameter) is not taken for its answer.
TokenReply readTokenReply(const QByteArray& contentType, const QByteArray& body);

// One page of a search.
struct SearchPage {
    enum class Outcome {
        NotJson,   // the media type (parameters aside) is not application/json
        BadJson,   // the body is no JSON document (parseError says why)
        NotObject, // a JSON document that is not an object
        Page,      // page holds the object
    };
    Outcome outcome = Outcome::NotJson;
    QJsonObject page;
    // The href of the first "next" link of properties.links; empty when the
    // page names none (or that link has no address): the search is complete.
    QString next;
    // BadJson: the JSON parser's text, for the log.
    QString parseError;
};

// The catalogue's pages are JSON whatever parameters (a charset) the media
// type carries.
bool isJsonMediaType(const QByteArray& contentType);

SearchPage readSearchPage(const QByteArray& contentType, const QByteArray& body);

// The message that ends a search on a page that is not a Page: for NotJson
// it names the content type; for an unreadable body it depends on whether
// earlier pages arrived ("No result find" when none did). Empty for a Page.
QString searchPageProblem(const SearchPage& page, const QByteArray& contentType, bool earlierPages);

} // namespace CatalogueReplies
