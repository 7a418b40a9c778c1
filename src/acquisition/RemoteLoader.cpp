#include "acquisition/RemoteLoader.h"

RemoteLoader::RemoteLoader(QWidget* parent)
    : QMainWindow(parent)
{
    setWindowTitle(tr("Remote data manager"));
    resize(1411, 842);
}
