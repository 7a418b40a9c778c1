#pragma once

// Whole-file replacement for the files users exchange with other programs:
// a new file is written beside the target under a temporary name and renamed
// over it only when everything was written. A failure leaves the target as it
// was (absent or the previous version) and no temporary file behind.

#include <string>
#include <string_view>
#include <vector>

namespace IO {

// Creates a new, empty file in the folder of target under a name nobody
// uses, readable like any file the user creates. Empty text when no such file
// can be created (missing folder, no permission).
std::string createTemporarySibling(const std::string& target);

// Renames temporary over target. On failure temporary is removed and target
// is left untouched.
bool replaceWithTemporary(const std::string& temporary, const std::string& target);

// Renames every temporaries[i] over targets[i], all of them or none. The
// targets that exist are first set aside; when one rename fails, the targets
// renamed before it get their earlier version back (or go again when there
// was none), every earlier version returns to its name and the temporaries
// are removed. On success the set-aside versions are removed.
bool replaceAllWithTemporaries(const std::vector<std::string>& temporaries, const std::vector<std::string>& targets);

// Writes all bytes to an open descriptor, resuming after interruptions;
// false when a write fails (a full disk, a file size limit).
bool writeAll(int descriptor, std::string_view bytes);

// Writes bytes to a temporary sibling of path, flushes them to the disk and
// renames the file over path. False on any failure.
bool writeFileAtomically(const std::string& path, std::string_view bytes);

} // namespace IO
