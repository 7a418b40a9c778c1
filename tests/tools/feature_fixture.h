#pragma once

// The main window showing an in-memory data set on its left side, with the
// task runner replaced by one that runs each task inline and records its
// label: the fixture of the feature driver, chain and viewer tests.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QStringList>
#include <gtest/gtest.h>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/test_shell_support.h"
#include "support/MemoryFile.h"
#include "tools/TaskRunner.h"

namespace FeatureTest {

// Runs every task inline and records its label.
class RecordingRunner {
public:
    RecordingRunner()
    {
        previous_ = TaskRunner::setRunner([this](const QString& label, const std::function<void()>& job) {
            labels.append(label);
            job();
        });
    }
    ~RecordingRunner() { TaskRunner::setRunner(previous_); }

    QStringList labels;

private:
    TaskRunner::Runner previous_;
};

// Raw value of image band b at raster pixel (x, y): distinct per band and
// position.
inline double rawSample(int band, int x, int y)
{
    return 10.0 + band * 40.0 + x * 3.0 + y * 5.0 + ((x * y) % 7);
}

class FeatureTools : public ShellTest::Shell {
protected:
    void SetUp() override
    {
        Shell::SetUp();
        index = addDataSet(makeFile(24, 20, 12, 8));
        file = static_cast<TestSupport::MemoryFile*>(window->dataFiles[index]);
        file->setWorkAreaX(0, 2);
        file->setWorkAreaY(0, 1);
        file->setWorkAreaX(1, 10);
        file->setWorkAreaY(1, 9);
        showOn(0, index, true, {0, 1, 2});
        runner = std::make_unique<RecordingRunner>();
    }

    void TearDown() override
    {
        runner.reset();
        Shell::TearDown();
    }

    // Bands B02, B03, B04 of scale 1, B11 of scale 2 and a derived one; the
    // four image bands loaded and normalised.
    static std::unique_ptr<TestSupport::MemoryFile> makeFile(int width, int height, int workWidth, int workHeight)
    {
        auto made = std::make_unique<TestSupport::MemoryFile>(width, height);
        const char* names[] = {"B02", "B03", "B04", "B11"};
        for (int b = 0; b < 4; ++b)
            made->addBandOf(names[b], b == 3 ? 2 : 1, [b](int x, int y) { return rawSample(b, x, y); });
        made->addDerivedBand("NDVI", 2, 1);
        TestSupport::quietly([&] {
            for (int b = 0; b < 4; ++b)
                made->loadBand(b, 0, 0.0, 1.0, false, false);
        });
        made->workAreaWidth = workWidth;
        made->workAreaHeight = workHeight;
        return made;
    }

    IO::BandLevel& level(int band) { return file->bands[static_cast<std::size_t>(band)].levels[0]; }
    IO::BandLevel& levelOf(IO::File* f, int band) { return f->bands[static_cast<std::size_t>(band)].levels[0]; }

    std::size_t areaCount() const
    {
        return static_cast<std::size_t>(file->workAreaWidth) * static_cast<std::size_t>(file->workAreaHeight);
    }

    // Stores an image of the working area's size under key for a band.
    void storeImage(int band, const char* key, const std::vector<float>& values)
    {
        TestSupport::quietly([&] { level(band).storeCache<float>(key, values.data(), values.size()); });
    }

    std::vector<float> entry(int band, const char* key)
    {
        const IO::BandLevel& record = level(band);
        const float* data = record.cacheData(key);
        return data ? std::vector<float>(data, data + record.cacheSize(key)) : std::vector<float>();
    }

    // The working window of a band's normalised pixels at the side's origin.
    std::vector<float> workWindow(IO::File* f, int band, int side)
    {
        std::vector<float> out;
        const IO::BandLevel& record = levelOf(f, band);
        for (int y = 0; y < f->workAreaHeight; ++y)
            for (int x = 0; x < f->workAreaWidth; ++x)
                out.push_back(record.data[static_cast<std::size_t>(f->getWorkAreaY(side) + y) * f->width
                                          + f->getWorkAreaX(side) + x]);
        return out;
    }

    template <typename F>
    bool quiet(F f)
    {
        bool result = false;
        TestSupport::quietly([&] { result = f(); });
        return result;
    }

    UI::FenlarkApp::FeatureArea area()
    {
        return {file, file->workAreaWidth, file->workAreaHeight, file->getWorkAreaX(0), file->getWorkAreaY(0)};
    }

    int index = -1;
    TestSupport::MemoryFile* file = nullptr;
    std::unique_ptr<RecordingRunner> runner;
};

} // namespace FeatureTest
