// A fuzz target as an ordinary test: every seed the data kit writes for it, and every input in
// its regressions folder, run once through the target's entry in the sanitised test build.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "tools/datakit/seeds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

namespace
{

std::vector<fs::path> InputsIn(const fs::path& dir)
{
    std::vector<fs::path> inputs;
    if (fs::is_directory(dir))
        for (const auto& entry : fs::directory_iterator(dir))
        {
            const std::string name = entry.path().filename().string();
            if (entry.is_regular_file() && !name.starts_with(".") && !name.starts_with("README"))
                inputs.push_back(entry.path());
        }
    return inputs;
}

void Replay(const fs::path& input)
{
    std::ifstream in(input, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
}

TEST(FuzzReplay, SeedsAndRegressions)
{
    const fs::path seeds = fs::temp_directory_path() / ("dezor-seeds-" + std::to_string(getpid()));
    datakit::WriteFuzzSeeds(seeds);
    const std::vector<fs::path> written = InputsIn(seeds / DEZOR_FUZZ_TARGET);
    EXPECT_FALSE(written.empty()) << "the data kit writes seeds for " << DEZOR_FUZZ_TARGET;
    for (const fs::path& input : written)
    {
        SCOPED_TRACE(input.string());
        Replay(input);
    }
    for (const fs::path& input : InputsIn(DEZOR_FUZZ_REGRESSIONS))
    {
        SCOPED_TRACE(input.string());
        Replay(input);
    }
    fs::remove_all(seeds);
}

} // namespace
