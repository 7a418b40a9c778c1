#pragma once

// Small text helpers shared by the file readers.

#include <istream>
#include <string>
#include <string_view>
#include <vector>

// One line of a text file without its line end ("\n", or "\r\n" as files
// saved on Windows have it). False at the end of the stream.
bool readTextLine(std::istream& in, std::string& line);

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
