// Paths a user chose before a reader opens them: only a regular file, or a
// link to one, is read; a named pipe, a device, a folder or a socket is
// refused before it is opened, and a whole file is read only within its
// reader's ceiling.

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "io/UserFiles.h"
#include "support/TestSupport.h"
#include "test_hostile_inputs.h"

namespace fs = std::filesystem;
using HostileInputs::NonRegular;

TEST(UserFiles, OnlyRegularFilesAndLinksToThemAreFiles)
{
    TestSupport::TempDir dir;
    TestSupport::writeFile(dir.file("plots.csv"), "a;b\n");
    fs::create_symlink(dir.path() / "plots.csv", dir.path() / "link.csv");
    fs::create_symlink(dir.path() / "missing.csv", dir.path() / "dangling.csv");
    const struct {
        std::string name;
        IO::PathKind kind;
    } cases[] = {
        {"plots.csv", IO::PathKind::Regular},
        {"link.csv", IO::PathKind::Regular},
        {"missing.csv", IO::PathKind::Missing},
        {"dangling.csv", IO::PathKind::Missing},
        {"pipe.csv", IO::PathKind::Other},
        {"zero.csv", IO::PathKind::Other},
        {"folder.csv", IO::PathKind::Other},
        {"socket.csv", IO::PathKind::Other},
    };
    HostileInputs::makeNonRegular(NonRegular::NamedPipe, dir.path() / "pipe.csv");
    HostileInputs::makeNonRegular(NonRegular::LinkToDevZero, dir.path() / "zero.csv");
    HostileInputs::makeNonRegular(NonRegular::Folder, dir.path() / "folder.csv");
    HostileInputs::makeNonRegular(NonRegular::Socket, dir.path() / "socket.csv");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IO::pathKind(dir.file(c.name)), c.kind);
        EXPECT_EQ(IO::isRegularFile(dir.file(c.name)), c.kind == IO::PathKind::Regular);
        // Nothing but a regular file is opened: a pipe would wait here.
        std::string text = "left over";
        EXPECT_EQ(IO::readRegularFile(dir.file(c.name), 100, text),
                  c.kind == IO::PathKind::Regular ? IO::ReadStatus::Read : IO::ReadStatus::CannotOpen);
        EXPECT_EQ(text, c.kind == IO::PathKind::Regular ? "a;b\n" : "");
    }
    EXPECT_EQ(IO::pathKind(""), IO::PathKind::Missing);
}

// The size a file has is its ceiling's test, before a byte is read: a
// sparse file of 1 GiB is refused at once.
TEST(UserFiles, WholeFilesAreReadWithinTheCeiling)
{
    TestSupport::TempDir dir;
    TestSupport::writeFile(dir.file("ten.txt"), "0123456789");
    HostileInputs::writeSparseFile(dir.path() / "sparse.txt", "head", std::uintmax_t{1} << 30);
    std::string text;
    EXPECT_EQ(IO::readRegularFile(dir.file("ten.txt"), 10, text), IO::ReadStatus::Read);
    EXPECT_EQ(text, "0123456789");
    EXPECT_EQ(IO::readRegularFile(dir.file("ten.txt"), 9, text), IO::ReadStatus::TooLarge);
    EXPECT_EQ(text, "");
    const TestSupport::PeakMemory memory;
    EXPECT_EQ(IO::readRegularFile(dir.file("sparse.txt"), std::uintmax_t{64} << 20, text), IO::ReadStatus::TooLarge);
    EXPECT_LT(memory.peakGrowthKilobytes(), 16L * 1024);
}
