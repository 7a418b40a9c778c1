#include "resources/Resources.h"

#include <mutex>

#include <QtGlobal>

#include "resources/MapPictures.h"

// Q_INIT_RESOURCE declares a function in the current namespace, so it must
// be expanded outside any namespace.
static void initFenlarkResources()
{
    Q_INIT_RESOURCE(fenlark);
    Q_INIT_RESOURCE(mainwindow);
    Fenlark::registerMapPictures();
}

namespace Fenlark {

void initResources()
{
    // Widgets that need an icon call this too; registering once is enough.
    static std::once_flag once;
    std::call_once(once, [] { initFenlarkResources(); });
}

} // namespace Fenlark
