// Every seed and every minimised finding of every fuzz target, run once
// through the target: a reader that crashes, leaks, reads out of bounds,
// overflows a conversion or breaks one of the target's properties on an
// input it once mishandled (or on a seed) fails here under the sanitizers of
// the test build.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fuzz/FuzzReplay.h"

namespace {

namespace fs = std::filesystem;

// The inputs of one target in one folder ("corpus" or "regressions").
struct Inputs {
    std::string target;
    std::string folder;
    std::vector<fs::path> files;
};

void PrintTo(const Inputs& inputs, std::ostream* out)
{
    *out << inputs.folder << "/" << inputs.target;
}

std::vector<Inputs> allInputs()
{
    std::vector<Inputs> all;
    for (const FuzzReplay::Target& target : FuzzReplay::targets()) {
        for (const char* folder : {"corpus", "regressions"}) {
            const fs::path dir = fs::path(FENLARK_FUZZ_DIR) / folder / target.name;
            std::error_code ec;
            if (!fs::is_directory(dir, ec))
                continue;
            Inputs inputs{target.name, folder, {}};
            for (const auto& entry : fs::directory_iterator(dir))
                if (entry.is_regular_file() && entry.path().filename().string().front() != '.')
                    inputs.files.push_back(entry.path());
            std::sort(inputs.files.begin(), inputs.files.end());
            if (!inputs.files.empty())
                all.push_back(std::move(inputs));
        }
    }
    return all;
}

std::string testName(const testing::TestParamInfo<Inputs>& info)
{
    std::string name = info.param.target + "_" + info.param.folder;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

class ReplayedInputs : public testing::TestWithParam<Inputs> {};

// One process per target and folder; each file's name goes to the error
// stream before it runs, so a sanitizer report that ends the process names
// the input that caused it.
TEST_P(ReplayedInputs, RunCleanly)
{
    const Inputs& inputs = GetParam();
    const auto& targets = FuzzReplay::targets();
    const auto target = std::find_if(targets.begin(), targets.end(),
                                     [&](const FuzzReplay::Target& t) { return t.name == inputs.target; });
    ASSERT_NE(target, targets.end());
    for (const fs::path& file : inputs.files) {
        SCOPED_TRACE(file.string());
        std::fprintf(stderr, "replaying %s\n", file.string().c_str());
        std::ifstream in(file, std::ios::binary);
        ASSERT_TRUE(in.is_open());
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        EXPECT_EQ(target->run(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Fuzz, ReplayedInputs, testing::ValuesIn(allInputs()), testName);

// A target without seeds would replay nothing: every target has some.
TEST(FuzzCorpus, EveryTargetHasSeeds)
{
    for (const FuzzReplay::Target& target : FuzzReplay::targets()) {
        const fs::path dir = fs::path(FENLARK_FUZZ_DIR) / "corpus" / target.name;
        std::error_code ec;
        EXPECT_TRUE(fs::is_directory(dir, ec) && !fs::is_empty(dir, ec)) << dir;
    }
}

} // namespace
