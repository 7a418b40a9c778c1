#pragma once

// Synthetic Sentinel-2 products for the tests of IO::JP2ZipFile. Each product
// is written once per build into the test cache and copied from there: every
// Product owns its copy in a folder of its own, which a test may change or
// delete.

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "SampleProduct.h"
#include "io/JP2ZipFile.h"
#include "support/TestSupport.h"

namespace Jp2ZipTest {

// The band log lines of the data layer are not what these tests look at.
using TestSupport::quietly;

// Opens an archive the way the shell does: name without the last suffix,
// the suffix, the absolute folder.
inline std::unique_ptr<IO::JP2ZipFile> openArchive(const std::filesystem::path& archive)
{
    auto file = std::make_unique<IO::JP2ZipFile>();
    std::string extension = archive.extension().string();
    if (!extension.empty())
        extension.erase(0, 1);
    file->open(archive.stem().string(), extension, std::filesystem::absolute(archive.parent_path()).string());
    return file;
}

// The error code an open throws as a number, 0 when it succeeds.
inline int openError(const std::filesystem::path& archive)
{
    return static_cast<int>(TestSupport::fileErrorOf([&] { openArchive(archive); }));
}

// Puts the described product into folder, as Sample::writeProduct does, and
// returns the archive's path. The archive is a copy of the one in the test
// cache, which the first test process of the build to need it writes.
inline std::filesystem::path copyOfProduct(const std::filesystem::path& folder, const Sample::ProductSpec& product)
{
    namespace fs = std::filesystem;
    const fs::path cached = TestSupport::cachedFolder(
        "sample product " + Sample::productKey(product) + " writer " + Sample::writerFingerprint(),
        [&](const fs::path& into) { Sample::writeProduct(into, product); });
    const fs::path archive = folder / (Sample::productName(product) + "." + product.extension);
    fs::copy_file(cached / archive.filename(), archive);
    return archive;
}

// A product in a folder of its own.
class Product {
public:
    explicit Product(const Sample::ProductSpec& spec = {})
        : archive_(copyOfProduct(dir_.path(), spec))
    {
    }
    const std::filesystem::path& archive() const { return archive_; }
    const std::filesystem::path& folder() const { return dir_.path(); }
    std::unique_ptr<IO::JP2ZipFile> open() const { return openArchive(archive_); }

private:
    TestSupport::TempDir dir_;
    std::filesystem::path archive_;
};

// The default 120 x 120 product, put in place on first use.
inline const Product& fixture()
{
    static const Product product;
    return product;
}

inline int bandIndex(const IO::File& file, const std::string& code)
{
    for (std::size_t i = 0; i < file.bands.size(); ++i)
        if (file.bands[i].code == code)
            return static_cast<int>(i);
    return -1;
}

inline std::vector<std::string> bandCodes(const IO::File& file)
{
    std::vector<std::string> codes;
    for (const auto& band : file.bands)
        codes.push_back(band.code);
    return codes;
}

// The error code body throws as a number, 0 when it throws none.
inline int thrownBy(const std::function<void()>& body)
{
    return static_cast<int>(TestSupport::fileErrorOf([&] { quietly(body); }));
}

} // namespace Jp2ZipTest
