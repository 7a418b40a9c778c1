#include "io/StringUtils.h"

#include <algorithm>

bool readTextLine(std::istream& in, std::string& line)
{
    if (!std::getline(in, line))
        return false;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

TextLine readBoundedTextLine(std::istream& in, std::string& line, std::size_t maxLength)
{
    line.clear();
    const std::istream::sentry ready(in, true);
    if (!ready)
        return TextLine::End;
    std::streambuf* buffer = in.rdbuf();
    bool any = false;
    for (;;) {
        const int c = buffer->sbumpc();
        if (c == std::char_traits<char>::eof()) {
            in.setstate(any ? std::ios::eofbit : std::ios::eofbit | std::ios::failbit);
            if (!any)
                return TextLine::End;
            break;
        }
        any = true;
        if (c == '\n')
            break;
        // One byte more than the ceiling may be the CR of a CR LF line end.
        if (line.size() > maxLength)
            return TextLine::TooLong;
        line += static_cast<char>(c);
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line.size() > maxLength ? TextLine::TooLong : TextLine::Read;
}

void splitByChar(std::vector<std::string>& out, std::string text, char delimiter)
{
    out.clear();
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find(delimiter, start);
        if (end == std::string::npos) {
            out.push_back(text.substr(start));
            break;
        }
        out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

void splitByString(std::vector<std::string>& out, const std::string& text, std::string delimiter)
{
    out.clear();
    if (delimiter.empty()) {
        out.push_back(text);
        return;
    }
    std::size_t start = 0;
    for (std::size_t pos = text.find(delimiter); pos != std::string::npos; pos = text.find(delimiter, start)) {
        out.push_back(text.substr(start, pos - start));
        start = pos + delimiter.size();
    }
    out.push_back(text.substr(start));
}

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

} // namespace

void removeWhitespace(std::string& text)
{
    text.erase(std::remove_if(text.begin(), text.end(), isBlank), text.end());
}

std::string_view trimBlanks(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}
