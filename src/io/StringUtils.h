#pragma once

// Small text helpers shared by the file readers.

#include <cstddef>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

// One line of a text file without its line end ("\n", or "\r\n" as files
// saved on Windows have it). False at the end of the stream.
bool readTextLine(std::istream& in, std::string& line);

// The longest line the line readers of the data files take (natNet files,
// text relevancy maps, the orthophoto map index): far beyond any line those
// files hold, and a bound on what a line costs once split into fields (a
// field is a text of its own, however short).
inline constexpr std::size_t maxTextLineBytes = std::size_t{1} << 20;

// readTextLine with a ceiling: a line longer than maxLength (its line end not
// counted) is read no further than that and gives TooLong; the stream is left
// inside it.
enum class TextLine { Read, End, TooLong };
TextLine readBoundedTextLine(std::istream& in, std::string& line, std::size_t maxLength = maxTextLineBytes);

// Pieces of text between delimiters, read as delimited fields: no piece for
// an empty text, no trailing empty piece after a final delimiter.
void splitByChar(std::vector<std::string>& out, std::string text, char delimiter);

// Pieces of text between occurrences of delimiter; the rest after the last
// occurrence is always appended, even when empty. delimiter must not be empty.
void splitByString(std::vector<std::string>& out, const std::string& text, std::string delimiter);

// Erases blank, tab, line feed, carriage return, vertical tab and form feed.
// Every other byte (UTF-8 sequences included) is kept, whatever the locale.
void removeWhitespace(std::string& text);

// text without blanks, tabs, line feeds, carriage returns, vertical tabs and
// form feeds at either end.
std::string_view trimBlanks(std::string_view text);
