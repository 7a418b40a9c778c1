#pragma once

// The outside services the acquisition windows talk to, in one place.
//
// Each service has a compiled HTTPS base (scheme and host) that a variable of
// the environment may replace: FENLARK_IDENTITY_URL, FENLARK_CATALOGUE_URL,
// FENLARK_WMS_GEODESY_URL and FENLARK_WMS_PROXY_URL hold scheme, host and
// port (for example "http://127.0.0.1:8080"); the windows append their own
// paths. FENLARK_MAP_TILE_URL holds the whole tile address with "{z}", "{x}"
// and "{y}" in it. Tests point them at a local server; a user may point them
// at a mirror.

#include <QString>
#include <QUrl>

namespace ServiceEndpoints {

enum class Service {
    Identity,   // token requests of the catalogue's account service
    Catalogue,  // product search and product download
    MapTile,    // map tiles of the remote window's map page (a template)
    WmsGeodesy, // national geodesy WMS host
    WmsProxy,   // map proxy WMS host
};

// The variable that replaces the service's default, e.g. "FENLARK_IDENTITY_URL".
QString environmentVariable(Service service);

// The compiled default (HTTPS, without a trailing "/").
QString defaultBase(Service service);

// The variable's value when it is set and not empty (a trailing "/" is
// dropped), otherwise the default.
QString base(Service service);

// base(service) followed by pathAndQuery, which starts with "/".
QUrl url(Service service, const QString& pathAndQuery);

// The map tile address with "{z}", "{x}" and "{y}" still in it.
QString mapTileTemplate();

// The page where a user registers an account with the catalogue's service.
QString registrationPage();

// True for an https address and for any address whose host is a loopback
// one: the only places a password or an access token may be sent.
bool isSafeForCredentials(const QUrl& url);

} // namespace ServiceEndpoints
