#include "support/FullDisk.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/TestSupport.h"

extern char** environ;

namespace fs = std::filesystem;

namespace TestSupport::FullDisk {

namespace {

constexpr char folderVariable[] = "FENLARK_FULL_DISK_FOLDER";

// What the child reports through a pipe when it stops before its exec.
struct SetUpFailure {
    int step;
    int error;
};

enum Step { Unshare, SetGroups, UserMap, GroupMap, PrivateMounts, Mount, Exec };

const char* stepText(int step)
{
    switch (step) {
    case Unshare:
        return "a mount namespace of its own";
    case SetGroups:
        return "/proc/self/setgroups";
    case UserMap:
        return "/proc/self/uid_map";
    case GroupMap:
        return "/proc/self/gid_map";
    case PrivateMounts:
        return "private mounts";
    case Mount:
        return "a tmpfs mount";
    default:
        return "the exec of the test executable";
    }
}

// Between fork and exec only system calls: the parent's other threads may
// hold any lock of the C library or the sanitizers.
[[noreturn]] void stop(int pipe, int step)
{
    const SetUpFailure failure{step, errno};
    [[maybe_unused]] const ssize_t n = ::write(pipe, &failure, sizeof failure);
    ::_exit(127);
}

bool writeProcFile(const char* path, const std::string& text)
{
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return written;
}

std::string readAll(const fs::path& path)
{
    std::error_code ec;
    return fs::exists(path, ec) ? readFile(path.string()) : std::string();
}

} // namespace

void PrintTo(Outcome outcome, std::ostream* out)
{
    switch (outcome) {
    case Outcome::Passed:
        *out << "passed";
        break;
    case Outcome::Failed:
        *out << "failed";
        break;
    case Outcome::TimedOut:
        *out << "timed out";
        break;
    case Outcome::Refused:
        *out << "refused";
        break;
    }
}

std::string folder()
{
    const char* value = std::getenv(folderVariable);
    return value ? value : std::string();
}

std::string fill()
{
    const std::string path = (fs::path(folder()) / "filler").string();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return {};
    const std::vector<char> block(4096, 'f');
    int error = 0;
    for (;;) {
        if (::write(fd, block.data(), block.size()) < 0) {
            error = errno;
            if (error == EINTR)
                continue;
            break;
        }
    }
    ::close(fd);
    return error == ENOSPC ? path : std::string();
}

Run runCurrentTest(std::size_t bytes, int seconds)
{
    Run run;
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    if (!test) {
        run.detail = "no test is running";
        return run;
    }
    const TempDir work;
    const fs::path disk = work.path() / "disk";
    const fs::path log = work.path() / "child.log";
    fs::create_directory(disk);

    // Everything the child needs is made before the fork.
    std::error_code ec;
    const std::string executable = fs::read_symlink("/proc/self/exe", ec).string();
    std::vector<std::string> arguments{executable,
                                       std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name(),
                                       "--gtest_color=no"};
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text(*entry);
        // The parent's report, shards and filter are not the child's.
        if (text.rfind("GTEST_", 0) == 0 || text.rfind(folderVariable, 0) == 0)
            continue;
        environment.push_back(text);
    }
    environment.push_back(std::string(folderVariable) + "=" + disk.string());
    std::vector<char*> argv;
    for (std::string& a : arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string userMap = std::to_string(::getuid()) + " " + std::to_string(::getuid()) + " 1\n";
    const std::string groupMap = std::to_string(::getgid()) + " " + std::to_string(::getgid()) + " 1\n";
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    const std::string mountPoint = disk.string();

    const int output = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int report[2];
    if (output < 0 || ::pipe2(report, O_CLOEXEC) != 0) {
        if (output >= 0)
            ::close(output);
        run.detail = "cannot make the child's log or pipe";
        return run;
    }

    const pid_t child = ::fork();
    if (child == 0) {
        ::close(report[0]);
        ::dup2(output, STDOUT_FILENO);
        ::dup2(output, STDERR_FILENO);
        // Root needs a mount namespace only; anyone else gets it with a user
        // namespace of their own, keeping their own user and group ids.
        if (::unshare(CLONE_NEWNS) != 0) {
            if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
                stop(report[1], Unshare);
            if (!writeProcFile("/proc/self/setgroups", "deny") && errno != ENOENT)
                stop(report[1], SetGroups);
            if (!writeProcFile("/proc/self/uid_map", userMap))
                stop(report[1], UserMap);
            if (!writeProcFile("/proc/self/gid_map", groupMap))
                stop(report[1], GroupMap);
        }
        // The mount must not reach the parent's namespace.
        if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            stop(report[1], PrivateMounts);
        if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0)
            stop(report[1], Mount);
        ::execve(argv[0], argv.data(), envp.data());
        stop(report[1], Exec);
    }
    ::close(output);
    ::close(report[1]);
    if (child < 0) {
        ::close(report[0]);
        run.detail = std::string("cannot fork: ") + std::strerror(errno);
        return run;
    }

    // The pipe closes empty at a successful exec.
    SetUpFailure failure{-1, 0};
    ssize_t got = 0;
    do
        got = ::read(report[0], &failure, sizeof failure);
    while (got < 0 && errno == EINTR);
    ::close(report[0]);

    int status = 0;
    bool ended = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!ended && std::chrono::steady_clock::now() < deadline) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        ended = done == child || (done < 0 && errno != EINTR);
        if (!ended)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!ended) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        run.outcome = Outcome::TimedOut;
        run.detail = "the child did not end within " + std::to_string(seconds) + " s and was killed; its output:\n"
            + readAll(log);
        return run;
    }

    if (got == static_cast<ssize_t>(sizeof failure)) {
        run.outcome = failure.step == Exec ? Outcome::Failed : Outcome::Refused;
        run.detail = std::string("the child could not get ") + stepText(failure.step) + ": "
            + std::strerror(failure.error);
        return run;
    }
    const std::string text = readAll(log);
    // A filter that matched nothing would pass too: the test must have run.
    const bool passed = WIFEXITED(status) && WEXITSTATUS(status) == 0
        && text.find("[  PASSED  ] 1 test.") != std::string::npos;
    run.outcome = passed ? Outcome::Passed : Outcome::Failed;
    if (!passed)
        run.detail = "the child ended with "
            + (WIFEXITED(status) ? "status " + std::to_string(WEXITSTATUS(status))
                                 : "signal " + std::to_string(WTERMSIG(status)))
            + "; its output:\n" + text;
    return run;
}

} // namespace TestSupport::FullDisk
