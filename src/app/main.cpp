#include <clocale>

#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[])
{
    std::setlocale(LC_ALL, "C");
    QApplication::setOrganizationName("Korvalin");
    QApplication::setApplicationName("Fenlark");
    QApplication app(argc, argv);

    QMainWindow window;
    window.setWindowTitle("Fenlark - Quillmere v2.1.4");
    window.showMaximized();
    return app.exec();
}
