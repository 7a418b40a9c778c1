#pragma once

// What a benchmark of widgets needs around it: the usual benchmark main on
// the offscreen platform and, for the main window, a fresh working folder
// holding the default configuration the window reads at start.

#include <cstdlib>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
namespace BenchSupport {

inline constexpr char defaultConfigText[] = "[Curve]\n"
                                            "lineWidth=2\n"
                                            "currentCurveColor=\"255,255,0,255\"\n"
                                            "activeCurveColor=\"255,0,0,255\"\n"
                                            "unactiveCurveColor=\"0,200,255,255\"\n"
                                            "[Global]\n"
                                            "linkWidgets=0\n";

// The window reads "default_config.ini" from, and writes its session file
// to, the working directory: both live in a fresh folder for the run.
class WorkingFolder {
public:
    WorkingFolder()
        : previous_(QDir::currentPath())
    {
        QDir::setCurrent(dir_.path());
        QFile file(dir_.filePath(QStringLiteral("default_config.ini")));
        if (file.open(QIODevice::WriteOnly))
            file.write(defaultConfigText);
    }
    ~WorkingFolder() { QDir::setCurrent(previous_); }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

    bool valid() const { return dir_.isValid(); }

private:
    QString previous_;
    QTemporaryDir dir_;
};

// Runs the registered benchmarks with a QApplication on the offscreen
// platform; prepare runs after the application exists, before any timing
// (resources, test data).
template <typename Prepare>
int runWindowBenchmarks(int argc, char** argv, Prepare prepare)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    prepare();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace BenchSupport
