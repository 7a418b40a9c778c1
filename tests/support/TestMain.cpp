// Common main of every test executable, in two builds.
//
// - fenlark_test_main (FENLARK_TEST_QT) runs a QApplication on the offscreen
//   platform, so widget tests need no display; the native settings store and
//   every INI path of QSettings point into a temporary folder, so no test
//   reads or writes a user's settings.
// - fenlark_test_main_plain, for suites that use no Qt (fenlark_test(...
//   NO_QT)), starts no toolkit at all: loading and starting Qt is a good
//   part of what a short test process costs.
// - Both point HOME and XDG_CONFIG_HOME into that temporary folder.
// - GDAL drivers are registered by the data layer on first use, as in the
//   program. Where an executable links GDAL, its driver manager and caches
//   are released before the leak check at exit.
// - The Qt build lets nothing leave the machine: no proxy, and every outside
//   service address (FENLARK_*_URL) points at a closed loopback port until a
//   test points it at its own local server. QtQuick renders in software.
// - A watchdog fails a test that hangs (a modal loop nobody closes, a
//   dead-locked task) instead of letting the suite stall until CI's limit.

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include <dlfcn.h>

#ifdef FENLARK_TEST_QT
#include <QApplication>
#include <QNetworkProxy>
#include <QSettings>
#endif
#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace {

class Watchdog : public testing::EmptyTestEventListener {
public:
    Watchdog()
        : thread_([this] { run(); })
    {
    }

    ~Watchdog() override
    {
        {
            std::lock_guard lock(mutex_);
            quit_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

    void OnTestStart(const testing::TestInfo& info) override
    {
        std::lock_guard lock(mutex_);
        current_ = std::string(info.test_suite_name()) + "." + info.name();
        deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(TestSupport::watchdogSeconds());
        armed_ = true;
        cv_.notify_all();
    }

    void OnTestEnd(const testing::TestInfo&) override
    {
        std::lock_guard lock(mutex_);
        armed_ = false;
        cv_.notify_all();
    }

private:
    void run()
    {
        std::unique_lock lock(mutex_);
        while (!quit_) {
            if (!armed_) {
                cv_.wait(lock);
                continue;
            }
            if (cv_.wait_until(lock, deadline_) == std::cv_status::timeout && armed_ && !quit_
                && std::chrono::steady_clock::now() >= deadline_) {
                std::fprintf(stderr, "\n[  FAILED  ] %s: watchdog: no end after %d s, the test hangs\n",
                             current_.c_str(), TestSupport::watchdogSeconds());
                std::fflush(stderr);
                std::_Exit(3);
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    std::string current_;
    std::chrono::steady_clock::time_point deadline_;
    bool armed_ = false;
    bool quit_ = false;
    std::thread thread_;
};

// GDALDestroyDriverManager() when the process has GDAL loaded. Looked up at
// run time so that the main itself does not pull GDAL into suites that do
// not use it.
void releaseGdal()
{
    using Release = void (*)();
    if (auto release = reinterpret_cast<Release>(dlsym(RTLD_DEFAULT, "GDALDestroyDriverManager")))
        release();
}

int runTests(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new Watchdog);
    return RUN_ALL_TESTS();
}

} // namespace

int main(int argc, char** argv)
{
    // Keep every settings store of the run inside one temporary folder.
    TestSupport::TempDir settingsHome;
    setenv("XDG_CONFIG_HOME", settingsHome.path().c_str(), 1);
    setenv("HOME", settingsHome.path().c_str(), 1);

#ifdef FENLARK_TEST_QT
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("QT_QUICK_BACKEND", "software", 1);
    // Port 1 on the loopback address: nothing listens there.
    for (const char* name : {"FENLARK_IDENTITY_URL", "FENLARK_CATALOGUE_URL", "FENLARK_WMS_GEODESY_URL",
                             "FENLARK_WMS_PROXY_URL"})
        setenv(name, "http://127.0.0.1:1", 1);
    setenv("FENLARK_MAP_TILE_URL", "http://127.0.0.1:1/{z}/{x}/{y}.png", 1);
    QApplication::setOrganizationName("Korvalin");
    QApplication::setApplicationName("FenlarkTests");
    QApplication app(argc, argv);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsHome.path().c_str());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsHome.path().c_str());
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
#endif

    const int result = runTests(argc, argv);
    releaseGdal();
    return result;
}
