#pragma once

// The process-wide settings main applies around the creation of the
// application object.

namespace Startup {

// Before the application object exists: C locale as the default QLocale (so
// numbers format and parse with "." and no group separators whatever the
// user's regional settings), organisation "Korvalin", application "Fenlark"
// (they scope the native settings store).
void prepareApplication();

// Right after the application object exists: the C library's numeric locale
// back to "C". The toolkit installs the user's locale on start, which would
// make strtod, atof and the stream parsers of the file readers read "14.43"
// as 14 under a decimal-comma locale.
void restoreNumericLocale();

// Keeps the work buffers of the feature tasks in the process. Each filter
// step, edge detector and statistics run allocates image-sized buffers of
// tens of megabytes and frees them when it ends; by default the C library
// hands such blocks back to the system and the next task takes every page
// fault again, which costs as much as the gradient kernels themselves.
// Blocks up to 256 MB now come from the heap and are reused, and the heap is
// trimmed only above 512 MB of free space; whole bands of a full tile are
// larger and still go back to the system when released.
void tuneAllocator();

} // namespace Startup
