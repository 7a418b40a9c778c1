#include "acquisition/OrthoMosaicExport.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

#include "filter/Downsampling.h"
#include "io/AtomicFile.h"

namespace OrthoMosaicExport {

namespace {

using Bytes = std::unique_ptr<std::uint8_t[]>;
using Samples = std::unique_ptr<float[]>;

void say(const char* text)
{
    std::fputs(text, stdout);
}

std::string_view view(const std::uint8_t* data, std::int64_t count)
{
    return {reinterpret_cast<const char*>(data), static_cast<std::size_t>(count)};
}

// Format::planeByte of every sample, written so that the compiler turns it
// into vector code: the limits are applied with min and max (NaN gives 0, as
// there) before the conversion truncates.
void toPlaneBytes(const float* in, std::int64_t count, std::uint8_t* out)
{
#pragma omp parallel for schedule(static)
    for (std::int64_t i = 0; i < count; ++i) {
        const float scaled = std::min(std::max(0.0f, in[i] * 255.0f + 0.5f), 255.0f);
        out[i] = static_cast<std::uint8_t>(static_cast<int>(scaled));
    }
}

// The three planes of one level, converted into one block and then written
// with one sink call per plane.
WriteResult convertAndWrite(const ByteSink& sink, const std::array<const float*, 3>& bands, LevelSize size,
                            const char* convertLine, const char* writeLine)
{
    const std::int64_t plane = size.planeBytes();
    Bytes planes(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(plane * Format::planeCount)]);
    if (!planes)
        return WriteResult::OutOfMemory;

    say(convertLine);
    for (int b = 0; b < Format::planeCount; ++b)
        toPlaneBytes(bands[static_cast<std::size_t>(b)], plane, planes.get() + b * plane);
    say("done\n");

    say(writeLine);
    for (int b = 0; b < Format::planeCount; ++b) {
        if (!sink(view(planes.get() + b * plane, plane)))
            return WriteResult::WriteFailed;
    }
    say("done\n");
    return WriteResult::Written;
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
    // above it, so no rounding of a coarser level carries into the next.
    for (int k = 1; k < Format::levelCount; ++k) {
        const int factor = 1 << k;
        const bool lastLevel = k == Format::levelCount - 1;
        const std::string factorText = std::to_string(factor);
        if (!lastLevel)
            say(("Scaling down by " + factorText + "... ").c_str());
        // The three bands are independent: each is reduced on a thread of
        // its own (downsampleRaster reports a failed allocation as null).
        std::array<float*, 3> reduced{};
#pragma omp parallel for schedule(dynamic, 1)
        for (int b = 0; b < Format::planeCount; ++b)
            reduced[static_cast<std::size_t>(b)] =
                downsampleRaster(bands[static_cast<std::size_t>(b)], shape.width, shape.height, factor, 0, 0);
        const std::array<Samples, 3> scaled{Samples(reduced[0]), Samples(reduced[1]), Samples(reduced[2])};
        if (!scaled[0] || !scaled[1] || !scaled[2])
            return WriteResult::OutOfMemory;
        if (!lastLevel)
            say("done\n");
        result = convertAndWrite(sink, {scaled[0].get(), scaled[1].get(), scaled[2].get()}, shape.level(k),
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
