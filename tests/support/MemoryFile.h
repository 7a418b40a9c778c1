#pragma once

// An in-memory data set for tests of the code above the file layer: bands are
// plain arrays, so a test states every pixel and can compute what a window
// read or a feature must give.
//
// The working grid is width x height pixels. An image band of scale s holds a
// raster of ceil(width / s) x ceil(height / s) raw samples; working pixel
// (X, Y) lies on its raster pixel (X / s, Y / s). A derived band is the
// normalised difference (a - b) / (a + b) of two image bands (0 where
// a + b = 0) and is addressed in working-grid pixels, as the product reader
// does. readRegion follows the product reader's window rules: output pixel k
// takes the pixel under the centre of its span; pixels outside the raster
// read 0.
//
// loadBand puts the band on the working grid at level 0 and normalises it
// like the product reader (unless keepRaw).

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "io/File.h"

namespace TestSupport {

class MemoryFile : public IO::File {
public:
    MemoryFile(int gridWidth, int gridHeight)
    {
        width = gridWidth;
        height = gridHeight;
        pixelCount = gridWidth * gridHeight;
        workAreaWidth = gridWidth;
        workAreaHeight = gridHeight;
        name = "memory";
        dataType = "Memory";
    }

    static int rasterSize(int gridSize, int scale) { return (gridSize + scale - 1) / scale; }

    // Appends an image band; raw holds its raster row by row.
    int addBand(const std::string& bandName, int scale, std::vector<float> raw)
    {
        IO::Band band(bandName);
        band.code = bandName;
        band.scale = scale;
        band.levels.emplace_back(bandName);
        bands.push_back(std::move(band));
        rasters_.push_back({scale, rasterSize(width, scale), std::move(raw)});
        return static_cast<int>(bands.size()) - 1;
    }

    // Appends an image band whose raw value at raster pixel at (x, y) is f(x, y).
    template <typename F>
    int addBandOf(const std::string& bandName, int scale, F f)
    {
        const int rw = rasterSize(width, scale);
        const int rh = rasterSize(height, scale);
        std::vector<float> raw(static_cast<std::size_t>(rw) * rh);
        for (int y = 0; y < rh; ++y)
            for (int x = 0; x < rw; ++x)
                raw[static_cast<std::size_t>(y) * rw + x] = static_cast<float>(f(x, y));
        return addBand(bandName, scale, std::move(raw));
    }

    int addDerivedBand(const std::string& bandName, int a, int b)
    {
        IO::Band band(bandName);
        band.code = bandName;
        band.derived = true;
        band.sourceBands = {a, b};
        band.sourceScales = {rasters_[static_cast<std::size_t>(a)].scale,
                             rasters_[static_cast<std::size_t>(b)].scale};
        band.levels.emplace_back(bandName);
        bands.push_back(std::move(band));
        rasters_.push_back({});
        return static_cast<int>(bands.size()) - 1;
    }

    // Raw value of a band at working-grid pixel (X, Y).
    double gridValue(int band, int X, int Y) const
    {
        const IO::Band& record = bands[static_cast<std::size_t>(band)];
        if (record.derived) {
            const double a = gridValue(record.sourceBands[0], X, Y);
            const double b = gridValue(record.sourceBands[1], X, Y);
            return a + b == 0.0 ? 0.0 : (a - b) / (a + b);
        }
        return rasterValue(band, X / scaleOf(band), Y / scaleOf(band));
    }

    // Raw value of an image band at its raster pixel (x, y); 0 outside.
    double rasterValue(int band, int x, int y) const
    {
        const Raster& r = rasters_[static_cast<std::size_t>(band)];
        const int rh = rasterSize(height, r.scale);
        if (x < 0 || y < 0 || x >= r.width || y >= rh)
            return 0.0;
        return r.values[static_cast<std::size_t>(y) * r.width + x];
    }

    int scaleOf(int band) const { return rasters_[static_cast<std::size_t>(band)].scale; }

    void loadBand(int band, int level, double lowCut, double highCut, bool autoCrop, bool keepRaw) override
    {
        IO::BandLevel& target = bandLevel(band, level);
        std::vector<float> grid(static_cast<std::size_t>(width) * height);
        for (int Y = 0; Y < height; ++Y)
            for (int X = 0; X < width; ++X)
                grid[static_cast<std::size_t>(Y) * width + X] = static_cast<float>(gridValue(band, X, Y));
        target.setDataFromFloats(grid.data(), width * height, true, 0.0, 0.0);
        if (!keepRaw)
            target.normalize(lowCut, highCut, autoCrop);
        loadedBands.insert(band);
    }

    void readRegion(int band, int level, int x, int y, int w, int h, int outWidth, int outHeight,
                    std::vector<double>& out) override
    {
        ++readCount;
        out.assign(static_cast<std::size_t>(std::max(outWidth, 0)) * std::max(outHeight, 0), 0.0);
        bandLevel(band, level);
        if (w <= 0 || h <= 0 || outWidth <= 0 || outHeight <= 0)
            throw error::ReadFailed;
        const bool derived = bands[static_cast<std::size_t>(band)].derived;
        for (int l = 0; l < outHeight; ++l) {
            const int py = static_cast<int>(std::floor(y + (l + 0.5) * h / outHeight));
            for (int k = 0; k < outWidth; ++k) {
                const int px = static_cast<int>(std::floor(x + (k + 0.5) * w / outWidth));
                double v = 0.0;
                if (derived) {
                    if (px >= 0 && py >= 0 && px < width && py < height)
                        v = gridValue(band, px, py);
                } else {
                    v = rasterValue(band, px, py);
                }
                out[static_cast<std::size_t>(l) * outWidth + k] = v;
            }
        }
    }

    // Number of readRegion calls so far.
    int readCount = 0;

private:
    struct Raster {
        int scale = 1;
        int width = 0;
        std::vector<float> values;
    };
    std::vector<Raster> rasters_;
};

} // namespace TestSupport
