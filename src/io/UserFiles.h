#pragma once

// Paths the user chose (or typed) before a reader opens them. Any path can
// be typed into a file dialog: a named pipe makes open() wait for a writer
// that never comes, and a device such as /dev/zero gives bytes without end.
// Every reader of a path from the user asks isRegularFile first and refuses
// anything else with its own "cannot be opened" message.

#include <cstdint>
#include <string>

namespace IO {

// What a path names once symbolic links are followed.
enum class PathKind {
    Regular,  // a regular file
    Missing,  // nothing (a dangling link too)
    Other,    // a folder, a named pipe, a device, a socket
    Unknown,  // the file system cannot tell (no permission to look, an I/O error)
};
PathKind pathKind(const std::string& path) noexcept;

// Whether path names a regular file once symbolic links are followed: a
// link to one is read like the file itself.
inline bool isRegularFile(const std::string& path) noexcept
{
    return pathKind(path) == PathKind::Regular;
}

// Reads the whole regular file at path into text. A file that is no regular
// file, or cannot be read, gives CannotOpen; one larger than maxBytes gives
// TooLarge, told by its size before anything is read (and by what it gives,
// should it grow while it is read). text is empty unless Read.
enum class ReadStatus { Read, CannotOpen, TooLarge };
ReadStatus readRegularFile(const std::string& path, std::uintmax_t maxBytes, std::string& text);

} // namespace IO
