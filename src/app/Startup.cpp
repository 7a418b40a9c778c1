#include "app/Startup.h"

#include <clocale>

#include <malloc.h>

#include <QApplication>
#include <QLocale>

namespace Startup {

void prepareApplication()
{
    QLocale::setDefault(QLocale::c());
    QApplication::setOrganizationName(QStringLiteral("Korvalin"));
    QApplication::setApplicationName(QStringLiteral("Fenlark"));
}

void restoreNumericLocale()
{
    std::setlocale(LC_NUMERIC, "C");
}

void tuneAllocator()
{
    mallopt(M_MMAP_THRESHOLD, 256 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
}

} // namespace Startup
