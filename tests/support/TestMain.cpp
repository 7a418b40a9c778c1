// Common main of every test executable.
//
// - Qt runs on the offscreen platform, so widget tests need no display.
// - The native settings store and every INI path of QSettings point into a
//   temporary folder: no test reads or writes a user's settings.
// - A watchdog fails a test that hangs (a modal loop nobody closes, a
//   dead-locked task) instead of letting the suite stall until CI's limit.

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include <QApplication>
#include <QSettings>
#include <gdal.h>
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

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Keep every settings store of the run inside one temporary folder.
    TestSupport::TempDir settingsHome;
    setenv("XDG_CONFIG_HOME", settingsHome.path().c_str(), 1);
    setenv("HOME", settingsHome.path().c_str(), 1);

    QApplication::setOrganizationName("Korvalin");
    QApplication::setApplicationName("FenlarkTests");
    QApplication app(argc, argv);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsHome.path().c_str());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsHome.path().c_str());

    GDALAllRegister();

    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new Watchdog);
    const int result = RUN_ALL_TESTS();
    GDALDestroyDriverManager();
    return result;
}
