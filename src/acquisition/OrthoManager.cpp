#include "acquisition/OrthoManager.h"

OrthoManager::OrthoManager(QWidget* parent)
    : QMainWindow(parent)
{
    setWindowTitle(tr("Orthomosaic manager"));
    resize(501, 383);
}
