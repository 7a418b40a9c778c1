#include "acquisition/LocalLoader.h"

#include "forms/LocalLoaderForm.h"

LocalLoader::LocalLoader(QWidget* parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::LocalLoader>())
{
    ui->setupUi(this);
}

LocalLoader::~LocalLoader() = default;
