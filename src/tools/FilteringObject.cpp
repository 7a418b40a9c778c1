// The main window's one filtering object, kept to the size of the working
// window of the data set shown last.

#include <iostream>
#include <new>

#include "app/FenlarkApp.h"
#include "filter/Filtration.h"

namespace UI {

void FenlarkApp::initFiltration(int width, int height)
{
    const int currentWidth = filtration ? filtration->width : 0;
    const int currentHeight = filtration ? filtration->height : 0;
    if (currentWidth == width && currentHeight == height)
        return;
    filtration.reset();
    try {
        filtration = std::make_unique<Filter::Filtration>(width, height);
    } catch (const std::bad_alloc&) {
        // Without memory for the matrix there is no filtering object; the
        // filtering tools find none and compute nothing.
        std::cout << "No memory for the filtering of a " << width << " x " << height << " window" << std::endl;
    }
}

} // namespace UI
