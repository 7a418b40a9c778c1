#include "io/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace IO {

namespace {

std::atomic<unsigned> temporaryCounter{0};

// Closes a descriptor on every path out of a function.
class Descriptor {
public:
    explicit Descriptor(int fd)
        : fd_(fd)
    {
    }
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }
    // Closes now and tells whether the close succeeded (a full disk can show
    // only here on some file systems).
    bool close()
    {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

} // namespace

bool writeAll(int fd, std::string_view bytes)
{
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string createTemporarySibling(const std::string& target)
{
    namespace fs = std::filesystem;
    if (target.empty())
        return {};
    const fs::path path(target);
    const std::string stem = "." + path.filename().string() + ".tmp-";
    static thread_local std::mt19937 random(std::random_device{}());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = path.parent_path()
            / (stem + std::to_string(::getpid()) + "-" + std::to_string(temporaryCounter++) + "-"
               + std::to_string(random() % 1000000u));
        const std::string name = candidate.string();
        // O_EXCL reserves the name; 0666 lets the user's umask decide the
        // permissions as for any file the user creates.
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return name;
        }
        if (errno != EEXIST)
            return {};
    }
    return {};
}

bool replaceWithTemporary(const std::string& temporary, const std::string& target)
{
    if (std::rename(temporary.c_str(), target.c_str()) == 0)
        return true;
    ::unlink(temporary.c_str());
    return false;
}

bool replaceAllWithTemporaries(const std::vector<std::string>& temporaries, const std::vector<std::string>& targets)
{
    const std::size_t count = temporaries.size();
    // earlier[i]: where the earlier version of target i waits, empty when
    // there was none or it stays where it is.
    std::vector<std::string> earlier(count);
    std::size_t placed = 0;
    bool ready = targets.size() == count;

    // Set every existing target aside. A folder stays where it is: nothing
    // can be renamed over it, so its replacement below fails.
    for (std::size_t i = 0; ready && i < count; ++i) {
        struct stat info {};
        if (::lstat(targets[i].c_str(), &info) != 0) {
            ready = errno == ENOENT;
            continue;
        }
        if (S_ISDIR(info.st_mode))
            continue;
        const std::string aside = createTemporarySibling(targets[i]);
        if (aside.empty() || std::rename(targets[i].c_str(), aside.c_str()) != 0) {
            if (!aside.empty())
                ::unlink(aside.c_str());
            ready = false;
            break;
        }
        earlier[i] = aside;
    }
    for (; ready && placed < count; ++placed) {
        if (std::rename(temporaries[placed].c_str(), targets[placed].c_str()) != 0)
            break;
    }

    if (ready && placed == count) {
        for (const std::string& aside : earlier) {
            if (!aside.empty())
                ::unlink(aside.c_str());
        }
        return true;
    }
    // Undo: the new files go, the earlier versions come back. An earlier
    // version that cannot return keeps its set-aside name rather than being
    // lost.
    for (std::size_t i = 0; i < count; ++i) {
        if (i < placed && earlier[i].empty() && i < targets.size())
            ::unlink(targets[i].c_str());
        if (!earlier[i].empty())
            std::rename(earlier[i].c_str(), targets[i].c_str());
        if (i >= placed)
            ::unlink(temporaries[i].c_str());
    }
    return false;
}

bool writeFileAtomically(const std::string& path, std::string_view bytes)
{
    const std::string temporary = createTemporarySibling(path);
    if (temporary.empty())
        return false;
    bool written = false;
    {
        Descriptor fd(::open(temporary.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
        written = fd.get() >= 0 && writeAll(fd.get(), bytes) && ::fsync(fd.get()) == 0;
        if (fd.get() >= 0)
            written = fd.close() && written;
    }
    if (!written) {
        ::unlink(temporary.c_str());
        return false;
    }
    return replaceWithTemporary(temporary, path);
}

} // namespace IO
