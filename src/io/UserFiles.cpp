#include "io/UserFiles.h"

#include <exception>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace IO {

PathKind pathKind(const std::string& path) noexcept
{
    namespace fs = std::filesystem;
    try {
        std::error_code ec;
        const fs::file_status status = fs::status(fs::path(path), ec);
        switch (status.type()) {
        case fs::file_type::regular:
            return ec ? PathKind::Unknown : PathKind::Regular;
        case fs::file_type::not_found:
            return PathKind::Missing;
        case fs::file_type::none:
        case fs::file_type::unknown:
            return PathKind::Unknown;
        default:
            return ec ? PathKind::Unknown : PathKind::Other;
        }
    } catch (const std::exception&) {
        // A path the file system layer cannot even hold (out of memory).
        return PathKind::Unknown;
    }
}

ReadStatus readRegularFile(const std::string& path, std::uintmax_t maxBytes, std::string& text)
{
    text.clear();
    try {
        if (!isRegularFile(path))
            return ReadStatus::CannotOpen;
        std::error_code ec;
        const std::uintmax_t size = std::filesystem::file_size(std::filesystem::path(path), ec);
        if (ec)
            return ReadStatus::CannotOpen;
        if (size > maxBytes)
            return ReadStatus::TooLarge;
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return ReadStatus::CannotOpen;
        text.reserve(static_cast<std::size_t>(size));
        // Read in pieces up to a byte beyond the ceiling: a file that grows
        // while it is read is not followed past it.
        std::string piece(std::size_t{1} << 16, '\0');
        while (in) {
            in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
            text.append(piece.data(), static_cast<std::size_t>(in.gcount()));
            if (text.size() > maxBytes) {
                text = std::string();
                return ReadStatus::TooLarge;
            }
        }
        if (in.bad()) {
            text = std::string();
            return ReadStatus::CannotOpen;
        }
        return ReadStatus::Read;
    } catch (const std::exception&) {
        // Out of memory or a file system error while reading.
        text = std::string();
        return ReadStatus::CannotOpen;
    }
}

} // namespace IO
