#include "windows/HabitatManager.h"

HabitatManager::HabitatManager(QWidget* parent)
    : QMainWindow(parent)
{
}
