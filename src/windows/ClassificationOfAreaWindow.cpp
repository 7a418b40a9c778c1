#include "windows/ClassificationOfAreaWindow.h"

ClassificationOfAreaWindow::ClassificationOfAreaWindow(QList<UI::CurveSet>* curveSets, NatNetInfo network,
                                                       IO::File* file, int level, QWidget* parent)
    : QMainWindow(parent)
    , curveSets(curveSets)
    , network(std::move(network))
    , file(file)
    , level(level)
{
    setWindowTitle(tr("Classification Of Area"));
}
