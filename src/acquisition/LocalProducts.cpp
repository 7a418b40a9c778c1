#include "acquisition/LocalProducts.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QTime>

namespace LocalProducts {

QDateTime parseNameTime(const QString& text)
{
    // Parsed in two pieces and put together in UTC: QDateTime::fromString
    // would read the text as local time first.
    if (text.size() != 15)
        return {};
    const QDate date = QDate::fromString(text.left(8), QStringLiteral("yyyyMMdd"));
    const QTime time = QTime::fromString(text.mid(8), QStringLiteral("'T'HHmmss"));
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

QString processingLevelOf(const QString& productType)
{
    if (productType.contains(QLatin1String("1C")))
        return QStringLiteral("Level-1C");
    if (productType.contains(QLatin1String("2A")))
        return QStringLiteral("Level-2A/2Ap");
    return {};
}

LocalProduct productFromPath(const QString& path)
{
    LocalProduct product;
    product.path = path;
    product.title = QFileInfo(path).baseName();
    const QStringList parts = product.title.split(QLatin1Char('_'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    auto part = [&parts](int index) { return index < parts.size() ? parts.at(index) : QString(); };
    product.productType = part(1);
    product.sensingStart = parseNameTime(part(2));
    product.sensingEnd = product.sensingStart;
    product.areaCode = part(5);
    product.ingestionDate = parseNameTime(part(6));
    product.processingLevel = processingLevelOf(product.productType);
    return product;
}

bool passes(const LocalProduct& product, const Filter& filter)
{
    if (!product.areaCode.contains(filter.tileName, Qt::CaseSensitive))
        return false;
    if (!product.sensingStart.isValid() || !product.sensingEnd.isValid() || product.productType.isEmpty())
        return true;
    if (product.sensingStart.date() < filter.from || product.sensingEnd.date() > filter.to)
        return false;
    switch (filter.productType) {
    case 1:
        return product.productType.contains(QLatin1String("MSIL2A"))
               || product.productType.contains(QLatin1String("MSIL2Ap"));
    case 2:
        return product.productType.contains(QLatin1String("MSIL1C"));
    default:
        return true;
    }
}

QStringList findArchives(const QString& root)
{
    QStringList paths;
    if (root.isEmpty())
        return paths;
    // Without FollowSymlinks the iterator lists a link but never descends
    // into one.
    QDirIterator it(root, {QStringLiteral("*.zip"), QStringLiteral("*.ZIP")},
                    QDir::Files | QDir::CaseSensitive, QDirIterator::Subdirectories);
    while (it.hasNext())
        paths.append(it.next());
    return paths;
}

QString timeText(const QDateTime& time)
{
    return time.isValid() ? time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) : QString();
}

} // namespace LocalProducts
