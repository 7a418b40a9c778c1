#pragma once

// The program's compiled-in resources (icons under ":/FenlarkApp/icons/").
// The resource data lives in a static library, whose unreferenced objects the
// linker drops; call this once before the first resource is used (the program
// does so at start-up, tests in their set-up).

namespace Fenlark {

void initResources();

} // namespace Fenlark
