#include "io/KmlCurves.h"

#include <cmath>
#include <exception>
#include <filesystem>
#include <iostream>
#include <limits>
#include <system_error>

#include "io/AtomicFile.h"
#include "io/File.h"
#include "io/NumberText.h"
#include "io/StringUtils.h"
#include "io/UserFiles.h"

namespace IO {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool validLonLat(double lon, double lat)
{
    return std::isfinite(lon) && std::isfinite(lat) && lat >= -90.0 && lat <= 90.0;
}

// ------------------------------------------------------------------ writing

void appendEscaped(std::string& out, std::string_view text)
{
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
}

template <typename T>
const T& entryOr(const std::vector<T>& list, std::size_t i, const T& fallback)
{
    return i < list.size() ? list[i] : fallback;
}

void appendSimpleData(std::string& out, std::string_view key, std::string_view value)
{
    out += "\t\t\t\t<SimpleData name=\"";
    out += key;
    out += "\">";
    appendEscaped(out, value);
    out += "</SimpleData>\n";
}

// ------------------------------------------------------------------ reading

void appendUtf8(std::string& out, unsigned long code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// How far after its '&' the ';' of a reference may lie ("&#x10FFFF;" needs
// 9; longer texts are not references of ours).
constexpr std::size_t kReferenceReach = 10;

// Replaces the predefined entities and character references; anything else
// that starts with '&' is kept as it stands. One pass: the ';' of a
// reference is looked for only as far as a reference reaches, so a text of
// many '&' without one costs no more than any other text.
std::string unescaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        std::size_t semicolon = std::string_view::npos;
        if (c == '&') {
            const std::size_t found = text.substr(i + 1, kReferenceReach).find(';');
            if (found != std::string_view::npos)
                semicolon = i + 1 + found;
        }
        if (semicolon == std::string_view::npos) {
            out += c;
            ++i;
            continue;
        }
        const std::string_view entity = text.substr(i + 1, semicolon - i - 1);
        bool known = true;
        if (entity == "amp") {
            out += '&';
        } else if (entity == "lt") {
            out += '<';
        } else if (entity == "gt") {
            out += '>';
        } else if (entity == "quot") {
            out += '"';
        } else if (entity == "apos") {
            out += '\'';
        } else if (entity.size() > 1 && entity[0] == '#') {
            const bool hex = entity[1] == 'x' || entity[1] == 'X';
            const std::string_view digits = entity.substr(hex ? 2 : 1);
            unsigned long code = 0;
            known = !digits.empty();
            for (const char d : digits) {
                int v = -1;
                if (d >= '0' && d <= '9')
                    v = d - '0';
                else if (hex && d >= 'a' && d <= 'f')
                    v = d - 'a' + 10;
                else if (hex && d >= 'A' && d <= 'F')
                    v = d - 'A' + 10;
                if (v < 0) {
                    known = false;
                    break;
                }
                code = code * (hex ? 16 : 10) + static_cast<unsigned long>(v);
            }
            known = known && code > 0 && code <= 0x10FFFF;
            if (known)
                appendUtf8(out, code);
        } else {
            known = false;
        }
        if (known) {
            i = semicolon + 1;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

// Character data of an element: CDATA sections taken literally, the rest
// with its entities replaced.
std::string elementText(std::string_view content)
{
    std::string out;
    std::size_t i = 0;
    while (i < content.size()) {
        const std::size_t cdata = content.find("<![CDATA[", i);
        if (cdata == std::string_view::npos) {
            out += unescaped(content.substr(i));
            break;
        }
        out += unescaped(content.substr(i, cdata - i));
        const std::size_t end = content.find("]]>", cdata + 9);
        if (end == std::string_view::npos)
            throw File::error::FileCorrupted;
        out += content.substr(cdata + 9, end - cdata - 9);
        i = end + 3;
    }
    return out;
}

// Position of the closing tag "</qualifiedName>" (blanks allowed before '>')
// at or after from, and the position just after it.
bool findClosingTag(std::string_view text, std::size_t from, std::string_view qualifiedName, std::size_t& start,
                    std::size_t& after)
{
    std::size_t pos = from;
    while ((pos = text.find("</", pos)) != std::string_view::npos) {
        std::size_t p = pos + 2;
        if (text.substr(p, qualifiedName.size()) == qualifiedName) {
            p += qualifiedName.size();
            while (p < text.size() && isBlank(text[p]))
                ++p;
            if (p < text.size() && text[p] == '>') {
                start = pos;
                after = p + 1;
                return true;
            }
        }
        pos += 2;
    }
    return false;
}

// Tuples of a coordinates element. Tuples are separated by white space;
// blanks next to a comma (written by some tools) stay inside their tuple.
std::vector<std::string> coordinateTuples(std::string_view content)
{
    std::vector<std::string> tuples;
    std::string current;
    std::size_t i = 0;
    while (i < content.size()) {
        if (!isBlank(content[i])) {
            current += content[i++];
            continue;
        }
        std::size_t next = i;
        while (next < content.size() && isBlank(content[next]))
            ++next;
        const bool joinsComma = (!current.empty() && current.back() == ',')
            || (next < content.size() && content[next] == ',');
        if (!joinsComma && !current.empty()) {
            tuples.push_back(std::move(current));
            current.clear();
        }
        i = next;
    }
    if (!current.empty())
        tuples.push_back(std::move(current));
    return tuples;
}

std::vector<Point2D> readCoordinates(std::string_view content, const KmlConverter& converter)
{
    std::vector<Point2D> points;
    std::vector<std::string> fields;
    for (const std::string& tuple : coordinateTuples(content)) {
        splitByChar(fields, tuple, ',');
        if (fields.size() >= 4)
            continue;  // not a longitude,latitude[,altitude] tuple: not a point of ours
        if (fields.size() < 2)
            throw File::error::FileCorrupted;
        const auto lon = parseDouble(fields[0]);
        const auto lat = parseDouble(fields[1]);
        if (!lon || !lat || !std::isfinite(*lon) || !std::isfinite(*lat))
            throw File::error::FileCorrupted;
        double x = kNaN;
        double y = kNaN;
        // A point the data set cannot place (another part of the world, a
        // latitude beyond the pole) is left out; the rest of the curve stays.
        if (converter.lonLatToPixel(*lon, *lat, x, y) && std::isfinite(x) && std::isfinite(y))
            points.push_back({x, y});
    }
    return points;
}

// An element tag of a document as the reader meets it. The content of a
// name or coordinates element (up to its closing tag, which is passed over)
// comes with its opening tag.
struct Element {
    std::string_view local;  // the name without its namespace prefix
    bool closing = false;
    bool selfClosing = false;
    std::string_view content;
};

// Calls visit(element) for every element tag of text in document order,
// past comments, CDATA sections, processing instructions and declarations.
// Throws File::error FileCorrupted for markup that is never closed.
template <typename Visit>
void walkElements(std::string_view text, Visit visit)
{
    std::size_t pos = 0;
    while ((pos = text.find('<', pos)) != std::string_view::npos) {
        const std::string_view rest = text.substr(pos);
        if (rest.starts_with("<!--")) {
            const std::size_t end = text.find("-->", pos + 4);
            if (end == std::string_view::npos)
                throw File::error::FileCorrupted;
            pos = end + 3;
            continue;
        }
        if (rest.starts_with("<![CDATA[")) {
            const std::size_t end = text.find("]]>", pos + 9);
            if (end == std::string_view::npos)
                throw File::error::FileCorrupted;
            pos = end + 3;
            continue;
        }
        const std::size_t close = text.find('>', pos);
        if (close == std::string_view::npos)
            throw File::error::FileCorrupted;
        const std::size_t after = close + 1;
        if (rest.starts_with("<?") || rest.starts_with("<!")) {
            pos = after;
            continue;
        }

        Element element;
        element.closing = rest.size() > 1 && rest[1] == '/';
        const std::size_t nameStart = pos + (element.closing ? 2 : 1);
        std::size_t nameEnd = nameStart;
        while (nameEnd < close && !isBlank(text[nameEnd]) && text[nameEnd] != '/')
            ++nameEnd;
        const std::string_view qualified = text.substr(nameStart, nameEnd - nameStart);
        const std::size_t colon = qualified.rfind(':');
        element.local = colon == std::string_view::npos ? qualified : qualified.substr(colon + 1);
        element.selfClosing = !element.closing && text[close - 1] == '/';
        pos = after;

        if ((element.local == "name" || element.local == "coordinates") && !element.closing
            && !element.selfClosing) {
            std::size_t endStart = 0;
            std::size_t endAfter = 0;
            if (!findClosingTag(text, after, qualified, endStart, endAfter))
                throw File::error::FileCorrupted;
            element.content = text.substr(after, endStart - after);
            pos = endAfter;
        }
        visit(element);
    }
}

} // namespace

// ------------------------------------------------------------------ converter

bool FileKmlConverter::pixelToLonLat(double x, double y, double& lon, double& lat) const
{
    double la = kNaN;
    double lo = kNaN;
    try {
        file_.pixelToLatLon(x, y, &la, &lo);
    } catch (...) {
        return false;
    }
    if (!validLonLat(lo, la))
        return false;
    lon = lo;
    lat = la;
    return true;
}

bool FileKmlConverter::lonLatToPixel(double lon, double lat, double& x, double& y) const
{
    if (!validLonLat(lon, lat))
        return false;
    double px = kNaN;
    double py = kNaN;
    try {
        file_.latLonToPixel(lat, lon, &px, &py);
    } catch (...) {
        return false;
    }
    if (!std::isfinite(px) || !std::isfinite(py))
        return false;
    x = px;
    y = py;
    return true;
}

// ------------------------------------------------------------------ document

bool isKmlExtension(std::string_view extension)
{
    if (extension.size() != 3)
        return false;
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    return lower(extension[0]) == 'k' && lower(extension[1]) == 'm' && lower(extension[2]) == 'l';
}

std::string kmlDocument(const std::vector<std::vector<Point2D>>& curves, const std::vector<std::string>& names,
                        const std::vector<std::string>& codes, const std::vector<std::string>& segmentationTypes,
                        const std::vector<std::vector<double>>& segmentationParams, std::string_view locTile,
                        const KmlConverter& converter)
{
    static const std::string empty;
    static const std::string unknown = "unknown";
    static const std::vector<double> noParams;

    std::string out = "<kml>\n\t<Folder>\n";
    for (std::size_t i = 0; i < curves.size(); ++i) {
        const std::string& type = entryOr(segmentationTypes, i, unknown);
        const std::vector<double>& params = entryOr(segmentationParams, i, noParams);

        out += "\t\t<Placemark>\n\t\t\t<name>";
        appendEscaped(out, entryOr(names, i, empty));
        out += "</name>\n\t\t\t<ExtendedData>\n";
        appendSimpleData(out, "code", entryOr(codes, i, unknown));
        appendSimpleData(out, "locTile", locTile);
        appendSimpleData(out, "segmType", type);
        // Only the kind of segmentation is recorded, as a fixed marker
        // number; the parameter values themselves are not stored.
        if (params.empty())
            appendSimpleData(out, "paramSegm", "unknown");
        else if (type == "semiSeg")
            appendSimpleData(out, "paramSemiSegm", "123");
        else if (type == "autoSeg")
            appendSimpleData(out, "paramAutoSegm", "456");
        out += "\t\t\t</ExtendedData>\n"
               "\t\t\t<LinearRing>\n"
               "\t\t\t\t<tessellate>0</tessellate>\n"
               "\t\t\t\t<altitudeMode>clampToGround</altitudeMode>\n"
               "\t\t\t\t<coordinates>\n";
        for (const Point2D& p : curves[i]) {
            double lon = kNaN;
            double lat = kNaN;
            if (!converter.pixelToLonLat(p.x, p.y, lon, lat) || !validLonLat(lon, lat))
                throw File::error::MissingMetadata;
            out += "\t\t\t\t\t";
            out += formatFixed(lon, 12);
            out += ',';
            out += formatFixed(lat, 12);
            out += ",0\n";
        }
        out += "\t\t\t\t</coordinates>\n"
               "\t\t\t</LinearRing>\n"
               "\t\t</Placemark>\n";
    }
    out += "\t</Folder>\n</kml>\n";
    return out;
}

std::size_t kmlCurveCount(std::string_view text)
{
    std::size_t count = 0;
    walkElements(text, [&](const Element& element) {
        if (element.local == "coordinates" && !element.closing)
            ++count;
    });
    return count;
}

KmlCurves parseKmlDocument(std::string_view text, const KmlConverter& converter, std::string_view fallbackName)
{
    struct Placemark {
        std::string name;
        bool named = false;
    };
    std::vector<Placemark> placemarks;
    std::vector<int> curvePlacemark;  // placemark of each curve, -1 outside any
    int current = -1;

    KmlCurves result;
    walkElements(text, [&](const Element& element) {
        if (element.local == "Placemark") {
            if (element.closing) {
                current = -1;
            } else if (!element.selfClosing) {
                placemarks.emplace_back();
                current = static_cast<int>(placemarks.size()) - 1;
            }
        } else if (element.local == "name" && !element.closing) {
            // Only a placemark's own name names its curves; document and
            // folder names are not curve names.
            if (current >= 0 && !placemarks[static_cast<std::size_t>(current)].named) {
                Placemark& placemark = placemarks[static_cast<std::size_t>(current)];
                placemark.name = std::string(trimBlanks(elementText(element.content)));
                placemark.named = true;
            }
        } else if (element.local == "coordinates" && !element.closing) {
            if (result.curves.size() == maxKmlCurves)
                throw File::error::FileCorrupted;
            result.curves.push_back(readCoordinates(element.content, converter));
            curvePlacemark.push_back(current);
        }
    });

    // One name per curve: the name of its placemark for the first curve of a
    // named placemark; any other curve is named after the last name given
    // before it (or fallbackName), "_" and its index. walkNames calls
    // visit(name, npos) for a placemark's own name and visit(base, i) for
    // base "_" i.
    auto walkNames = [&](auto&& visit) {
        std::vector<bool> used(placemarks.size(), false);
        std::string_view base = fallbackName;
        for (std::size_t i = 0; i < result.curves.size(); ++i) {
            const int p = curvePlacemark[i];
            if (p >= 0 && placemarks[static_cast<std::size_t>(p)].named && !used[static_cast<std::size_t>(p)]) {
                used[static_cast<std::size_t>(p)] = true;
                base = placemarks[static_cast<std::size_t>(p)].name;
                visit(base, std::string::npos);
            } else {
                visit(base, i);
            }
        }
    };
    // The repeated names are not in the file: what all names take is summed
    // up before any is made.
    const std::size_t nameBudget = text.size() + kmlNameAllowance;
    std::size_t nameBytes = 0;
    walkNames([&](std::string_view base, std::size_t index) {
        nameBytes += base.size() + (index == std::string::npos ? 0 : 1 + std::to_string(index).size());
        if (nameBytes > nameBudget)
            throw File::error::FileCorrupted;
    });
    result.names.reserve(result.curves.size());
    walkNames([&](std::string_view base, std::size_t index) {
        if (index == std::string::npos)
            result.names.emplace_back(base);
        else
            result.names.push_back(std::string(base) + "_" + std::to_string(index));
    });
    return result;
}

void loadKmlCurves(const std::string& fileName, std::string_view extension, const KmlConverter& converter,
                   std::vector<std::vector<Point2D>>& curves, std::vector<std::string>& names)
{
    if (!isKmlExtension(extension))
        throw File::error::UnsupportedFormat;

    KmlCurves read;
    try {
        std::string text;
        switch (readRegularFile(fileName, maxKmlFileBytes, text)) {
        case ReadStatus::Read:
            break;
        case ReadStatus::CannotOpen:
            throw File::error::CannotOpen;
        case ReadStatus::TooLarge: {
            std::error_code ec;
            const std::uintmax_t size = std::filesystem::file_size(std::filesystem::path(fileName), ec);
            std::cout << "Curve file " << fileName << " refused: it has "
                      << (ec ? "more than " + std::to_string(maxKmlFileBytes) : std::to_string(size))
                      << " bytes, a curve file may have at most " << maxKmlFileBytes << '\n'
                      << std::flush;
            throw File::error::FileCorrupted;
        }
        }
        // Counted before any is built: every curve becomes a row of the
        // curves explorer with its own check box.
        const std::size_t count = kmlCurveCount(text);
        if (count > maxKmlCurves) {
            std::cout << "Curve file " << fileName << " refused: it holds " << count
                      << " curves, a curve file may hold at most " << maxKmlCurves << '\n' << std::flush;
            throw File::error::FileCorrupted;
        }
        read = parseKmlDocument(text, converter, std::filesystem::path(fileName).stem().string());
    } catch (const File::error&) {
        throw;
    } catch (const std::exception&) {
        // Out of memory or a file system error while reading.
        throw File::error::CannotOpen;
    }

    curves.insert(curves.end(), std::make_move_iterator(read.curves.begin()),
                  std::make_move_iterator(read.curves.end()));
    names.insert(names.end(), std::make_move_iterator(read.names.begin()),
                 std::make_move_iterator(read.names.end()));
}

void saveKmlCurves(const std::string& fileName, std::string_view extension,
                   const std::vector<std::vector<Point2D>>& curves, const std::vector<std::string>& names,
                   const std::vector<std::string>& codes, const std::vector<std::string>& segmentationTypes,
                   const std::vector<std::vector<double>>& segmentationParams, std::string_view locTile,
                   const KmlConverter& converter)
{
    if (!isKmlExtension(extension))
        throw File::error::UnsupportedFormat;
    std::string document;
    try {
        document = kmlDocument(curves, names, codes, segmentationTypes, segmentationParams, locTile, converter);
    } catch (const std::bad_alloc&) {
        throw File::error::CannotOpen;
    }
    if (!writeFileAtomically(fileName, document))
        throw File::error::CannotOpen;
}

} // namespace IO
