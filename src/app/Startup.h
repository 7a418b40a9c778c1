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

} // namespace Startup
