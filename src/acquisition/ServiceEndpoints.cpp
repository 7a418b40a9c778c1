#include "acquisition/ServiceEndpoints.h"

#include <QHostAddress>
#include <QtGlobal>

namespace ServiceEndpoints {

namespace {

struct Entry {
    Service service;
    const char* variable;
    const char* defaultBase;
};

// The production hosts. Paths are not part of a base: the window that uses
// a service knows its paths and query keys.
constexpr Entry entries[] = {
    {Service::Identity, "FENLARK_IDENTITY_URL", "https://identity.dataspace.copernicus.eu"},
    {Service::Catalogue, "FENLARK_CATALOGUE_URL", "https://catalogue.dataspace.copernicus.eu"},
    {Service::MapTile, "FENLARK_MAP_TILE_URL", "https://tile.openstreetmap.org/{z}/{x}/{y}.png"},
    {Service::WmsGeodesy, "FENLARK_WMS_GEODESY_URL", "https://zbgisws.skgeodesy.sk"},
    {Service::WmsProxy, "FENLARK_WMS_PROXY_URL", "https://mapy.geoportal.sk"},
};

const Entry& entryOf(Service service)
{
    for (const Entry& entry : entries) {
        if (entry.service == service)
            return entry;
    }
    Q_UNREACHABLE();
}

} // namespace

QString environmentVariable(Service service)
{
    return QString::fromLatin1(entryOf(service).variable);
}

QString defaultBase(Service service)
{
    return QString::fromLatin1(entryOf(service).defaultBase);
}

QString base(Service service)
{
    QString value = qEnvironmentVariable(entryOf(service).variable).trimmed();
    if (value.isEmpty())
        return defaultBase(service);
    while (value.endsWith(QLatin1Char('/')))
        value.chop(1);
    return value;
}

QUrl url(Service service, const QString& pathAndQuery)
{
    return QUrl(base(service) + pathAndQuery);
}

QString mapTileTemplate()
{
    return base(Service::MapTile);
}

QString registrationPage()
{
    return QStringLiteral("https://dataspace.copernicus.eu");
}

bool isSafeForCredentials(const QUrl& url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    if (url.scheme() == QLatin1String("https"))
        return true;
    if (url.scheme() != QLatin1String("http"))
        return false;
    const QString host = url.host();
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

} // namespace ServiceEndpoints
