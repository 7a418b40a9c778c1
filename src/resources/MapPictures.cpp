#include "resources/MapPictures.h"

#include <QResource>

// The binary resource file that the build wrote, embedded as it stands; Qt
// reads it in place.
asm(".section .rodata\n"
    ".balign 16\n"
    ".local fenlark_map_pictures\n"
    "fenlark_map_pictures:\n"
    ".incbin \"" FENLARK_MAP_RESOURCE "\"\n"
    ".previous\n");

extern "C" __attribute__((visibility("hidden"))) const unsigned char fenlark_map_pictures[];

namespace Fenlark {

void registerMapPictures()
{
    QResource::registerResource(fenlark_map_pictures);
}

} // namespace Fenlark
