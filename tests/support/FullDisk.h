#pragma once

// A full disk for tests of what a failed save leaves behind. A file size
// limit does not show every fault: a write that fails with ENOSPC while the
// file still grows takes other paths (libtiff, for one, can loop for good
// when such a file is closed). So the running test starts again in a child
// process that sees a small tmpfs of its own mounted over a folder: the child
// has a mount namespace of its own (and a user namespace of its own when the
// tests do not run as root), so nothing outside it sees that file system. The
// child runs the same test, which finds itself in the child's role and works
// on that disk; the parent waits for it a bounded time and kills it after
// that, so a save that hangs fails the test instead of stalling the suite.
//
//     const std::string disk = TestSupport::FullDisk::folder();
//     if (disk.empty()) {
//         const TestSupport::FullDisk::Run run = TestSupport::FullDisk::runCurrentTest(64 * 1024, 60);
//         if (run.outcome == TestSupport::FullDisk::Outcome::Refused)
//             GTEST_SKIP() << run.detail;
//         EXPECT_EQ(run.outcome, TestSupport::FullDisk::Outcome::Passed) << run.detail;
//         return;
//     }
//     ... the test's work on the disk at disk ...
//
// The child is a new process image of the test executable (fork, then the
// namespaces and the mount, then exec), so the threads of the parent (Qt's,
// the watchdog's) do not carry over into it.

#include <cstddef>
#include <ostream>
#include <string>

namespace TestSupport::FullDisk {

// In the child: the folder of the small file system. Empty in the parent.
std::string folder();

// In the child: writes a file into folder() until the file system is full.
// Its path, empty when the disk did not end with "no space left".
std::string fill();

enum class Outcome {
    Passed,   // the child ran the test, and the test passed
    Failed,   // the test failed in the child, or the child did not start or end
    TimedOut, // the child was killed after the time allowed
    Refused,  // the machine refused the namespaces or the mount
};

// Names the outcome in a test's failure message.
void PrintTo(Outcome outcome, std::ostream* out);

struct Run {
    Outcome outcome = Outcome::Failed;
    std::string detail; // the child's output, or why it could not run
};

// In the parent: runs the current test again in a child whose folder() is a
// tmpfs of the given size in bytes; waits at most seconds for it.
Run runCurrentTest(std::size_t bytes, int seconds);

} // namespace TestSupport::FullDisk
