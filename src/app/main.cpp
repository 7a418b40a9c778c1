#include <QApplication>

#include "app/FenlarkApp.h"
#include "app/Startup.h"
#include "resources/Resources.h"

int main(int argc, char** argv)
{
    Startup::tuneAllocator();
    Startup::prepareApplication();
    QApplication app(argc, argv);
    Startup::restoreNumericLocale();
    Fenlark::initResources();

    UI::FenlarkApp window;
    window.setupWindow();
    return QApplication::exec();
}
