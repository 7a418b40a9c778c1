#include "windows/NetworkExplorerWindow.h"

NetworkExplorerWindow::NetworkExplorerWindow(QWidget* parent)
    : QMainWindow(parent)
{
    setWindowTitle(tr("Network Explorer"));
}
