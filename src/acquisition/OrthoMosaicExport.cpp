#include "acquisition/OrthoMosaicExport.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include <utility>

#include <fcntl.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/mman.h>
#endif

#include "filter/Downsampling.h"
#include "io/AtomicFile.h"

namespace OrthoMosaicExport {

namespace {

using Bytes = std::unique_ptr<std::uint8_t[]>;

// Output rows of a reduced level per task: enough to pay for the task's small
// tables, few enough that the threads share a level's rows evenly.
constexpr int kRowsPerTask = 32;

void say(const char* text)
{
    std::fputs(text, stdout);
}

std::string_view view(const std::uint8_t* data, std::int64_t count)
{
    return {reinterpret_cast<const char*>(data), static_cast<std::size_t>(count)};
}

// Format::planeByte, written so that the compiler turns a loop of it into
// vector code: the limits are applied with min and max (NaN gives 0, as
// there) before the conversion truncates.
inline std::uint8_t planeByteOf(float v)
{
    const float scaled = std::min(std::max(0.0f, v * 255.0f + 0.5f), 255.0f);
    return static_cast<std::uint8_t>(static_cast<int>(scaled));
}

void toPlaneBytes(const float* in, std::int64_t count, std::uint8_t* out)
{
#pragma omp parallel for schedule(static)
    for (std::int64_t i = 0; i < count; ++i)
        out[i] = planeByteOf(in[i]);
}

// An uninitialised block for the planes of a level, null when memory runs
// out. On Linux the block asks for huge pages, as the band levels do, so a
// 375 MB level is not filled one 4 KiB page fault at a time.
Bytes allocatePlanes(std::int64_t bytes)
{
    Bytes planes(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(bytes)]);
#ifdef __linux__
    constexpr std::uintptr_t huge = std::uintptr_t{2} << 20;
    const auto start = reinterpret_cast<std::uintptr_t>(planes.get());
    const std::uintptr_t begin = (start + huge - 1) & ~(huge - 1);
    const std::uintptr_t end = (start + static_cast<std::uintptr_t>(bytes)) & ~(huge - 1);
    if (planes && end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#endif
    return planes;
}

// Writes the three planes of one level, one sink call per plane.
WriteResult writePlanes(const ByteSink& sink, const std::uint8_t* planes, std::int64_t plane, const char* writeLine)
{
    say(writeLine);
    for (int b = 0; b < Format::planeCount; ++b) {
        if (!sink(view(planes + b * plane, plane)))
            return WriteResult::WriteFailed;
    }
    say("done\n");
    return WriteResult::Written;
}

// The three planes of the full-resolution level, converted into one block and
// then written.
WriteResult convertAndWrite(const ByteSink& sink, const std::array<const float*, 3>& bands, LevelSize size,
                            const char* convertLine, const char* writeLine)
{
    const std::int64_t plane = size.planeBytes();
    Bytes planes = allocatePlanes(plane * Format::planeCount);
    if (!planes)
        return WriteResult::OutOfMemory;

    say(convertLine);
    for (int b = 0; b < Format::planeCount; ++b)
        toPlaneBytes(bands[static_cast<std::size_t>(b)], plane, planes.get() + b * plane);
    say("done\n");
    return writePlanes(sink, planes.get(), plane, writeLine);
}

// The three planes of level k, reduced from the full-resolution bands and
// converted a few rows at a time on every thread, then written: the box means
// are downsampleRaster's (averageBlockRows), but the reduced bands never
// exist whole, so a level costs its planes and a small buffer per thread.
WriteResult reduceConvertAndWrite(const ByteSink& sink, const std::array<const float*, 3>& bands, LotShape shape,
                                  int k, const char* convertLine, const char* writeLine)
{
    const LevelSize size = shape.level(k);
    const int factor = 1 << k;
    const std::int64_t plane = size.planeBytes();
    Bytes planes = allocatePlanes(plane * Format::planeCount);
    if (!planes)
        return WriteResult::OutOfMemory;

    say(convertLine);
    const int rowsPerTask = std::min(kRowsPerTask, size.height);
    const int tasksPerBand = (size.height + rowsPerTask - 1) / rowsPerTask;
    bool failed = false;
#pragma omp parallel reduction(|| : failed)
    {
        const std::unique_ptr<float[]> means(
            new (std::nothrow) float[static_cast<std::size_t>(rowsPerTask) * static_cast<std::size_t>(size.width)]);
        failed = !means;
#pragma omp for schedule(dynamic, 1)
        for (int task = 0; task < Format::planeCount * tasksPerBand; ++task) {
            if (!means)
                continue;
            const int b = task / tasksPerBand;
            const int first = task % tasksPerBand * rowsPerTask;
            const int rows = std::min(rowsPerTask, size.height - first);
            if (!averageBlockRows(bands[static_cast<std::size_t>(b)], shape.width, shape.height, factor, first, rows,
                                  means.get())) {
                failed = true;
                continue;
            }
            std::uint8_t* out = planes.get() + b * plane + static_cast<std::int64_t>(first) * size.width;
            const std::int64_t count = static_cast<std::int64_t>(rows) * size.width;
            for (std::int64_t i = 0; i < count; ++i)
                out[i] = planeByteOf(means[static_cast<std::size_t>(i)]);
        }
    }
    if (failed)
        return WriteResult::OutOfMemory;
    say("done\n");
    return writePlanes(sink, planes.get(), plane, writeLine);
}

} // namespace

bool writeHeader(const ByteSink& sink, double x, double y)
{
    const Format::HeaderBytes header = Format::encodeHeader(x, y);
    return sink(view(header.data(), Format::headerSize));
}

WriteResult writeLevels(const ByteSink& sink, const std::array<const float*, 3>& bands, LotShape shape)
{
    WriteResult result = convertAndWrite(sink, bands, shape.level(0), "Converting original img data... ",
                                         "Writing original img data... ");
    if (result != WriteResult::Written)
        return result;

    // Every level comes from the full-resolution bands, never from the level
    // above it, so no rounding of a coarser level carries into the next. The
    // reduction happens under the conversion line; the scaling line is kept
    // so the progress reads as it always has.
    for (int k = 1; k < Format::levelCount; ++k) {
        const std::string factorText = std::to_string(1 << k);
        if (k != Format::levelCount - 1)
            say(("Scaling down by " + factorText + "... done\n").c_str());
        result = reduceConvertAndWrite(sink, bands, shape, k,
                                       ("Converting scaled down by " + factorText + " img data... ").c_str(),
                                       ("Writing scaled down by " + factorText + " img data... ").c_str());
        if (result != WriteResult::Written)
            return result;
    }
    return WriteResult::Written;
}

LotFile::LotFile(std::string target)
    : target_(std::move(target))
    , temporary_(IO::createTemporarySibling(target_))
{
    if (temporary_.empty())
        return;
    descriptor_ = ::open(temporary_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (descriptor_ < 0)
        discard();
}

LotFile::~LotFile()
{
    discard();
}

bool LotFile::write(std::string_view bytes)
{
    if (descriptor_ < 0 || failed_)
        return false;
    failed_ = !IO::writeAll(descriptor_, bytes);
    return !failed_;
}

ByteSink LotFile::sink()
{
    return [this](std::string_view bytes) { return write(bytes); };
}

bool LotFile::commit()
{
    if (descriptor_ < 0 || failed_) {
        discard();
        return false;
    }
    // A full disk may show only when the data reach it, on the flush or the
    // close: both are checked before the lot takes the target's name.
    const bool flushed = ::fsync(descriptor_) == 0;
    const int descriptor = std::exchange(descriptor_, -1);
    const bool closed = ::close(descriptor) == 0;
    if (!flushed || !closed) {
        discard();
        return false;
    }
    const bool renamed = IO::replaceWithTemporary(temporary_, target_);
    temporary_.clear();
    return renamed;
}

void LotFile::discard()
{
    if (descriptor_ >= 0)
        ::close(std::exchange(descriptor_, -1));
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
    temporary_.clear();
}

} // namespace OrthoMosaicExport
