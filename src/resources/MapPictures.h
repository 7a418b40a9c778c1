#pragma once

// The map picker's area and tile pictures under ":/map/maps/<name>.jpg",
// drawn at build time. Registered once by Fenlark::initResources().

namespace Fenlark {

void registerMapPictures();

} // namespace Fenlark
