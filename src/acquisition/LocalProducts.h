#pragma once

// The archives of the local archive browser: what a Sentinel-2 product
// archive's file name tells, the browser's filter over it and the walk that
// finds the archives below a folder.
//
// A product name is made of "_"-separated parts such as
// "S2B_MSIL2A_20230615T095559_N0509_R122_T33UXP_20230615T124514.zip":
// part 1 is the product type, part 2 the sensing time, part 5 the area code
// (T and the tile name) and part 6 the ingestion time.

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// One listed archive, built from its path and file name alone.
struct LocalProduct {
    QString title; // file name up to its first "."
    QString path;  // as the directory walk returned it
    QDateTime sensingStart;
    QDateTime sensingEnd; // the name carries one sensing time: equal to the start
    QDateTime ingestionDate;
    QString processingLevel; // "Level-1C", "Level-2A/2Ap" or ""
    QString productType;     // for example "MSIL2A"
    QString areaCode;        // for example "T33UXP"
};

namespace LocalProducts {

// A "yyyyMMddTHHmmss" name part as a UTC time; invalid when the part is not
// such a time. UTC because the time is the sensing satellite's: read as local
// time a name could fall into a daylight-saving gap and come out invalid.
QDateTime parseNameTime(const QString& text);

// "Level-1C" when the product type contains "1C", otherwise "Level-2A/2Ap"
// when it contains "2A", otherwise "".
QString processingLevelOf(const QString& productType);

// The product an archive's path describes. A name with fewer parts than a
// product name leaves the missing ones empty.
LocalProduct productFromPath(const QString& path);

// The filter of the browser's Apply.
struct Filter {
    QString tileName;    // looked for in the area code (case-sensitive)
    QDate from;          // inclusive
    QDate to;            // inclusive
    int productType = 0; // 0 all, 1 Level-2A/2Ap, 2 Level-1C
};

// Whether the product passes: its area code contains the tile name and, when
// both sensing times are valid and the product type is known, the sensing
// days lie within the dates and the type matches. A product without valid
// times or type is judged by its tile alone.
bool passes(const LocalProduct& product, const Filter& filter);

// The "*.zip" and "*.ZIP" files below root and in all its sub-folders, in the
// walk's own order. Symbolic links to folders are not followed (a link to a
// parent would never end). An empty root lists nothing: it would otherwise
// walk the process's working directory.
QStringList findArchives(const QString& root);

// The text a time shows in the information list ("" for an invalid one).
QString timeText(const QDateTime& time);

} // namespace LocalProducts
