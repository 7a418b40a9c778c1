#include "windows/CurveManager.h"

#include "forms/CurveManagerForm.h"

CurveManager::CurveManager(QWidget* parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::CurveManager>())
{
    ui->setupUi(this);
}

CurveManager::~CurveManager() = default;
