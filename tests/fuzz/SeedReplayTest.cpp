// Replays the session fuzzer's seeds through its entry point in ordinary builds, so the target keeps
// building and its well-formed inputs keep decoding (under ASan in the sanitizer build).

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

TEST(SessionFuzzSeeds, EverySeedRunsToTheEndOfItsInput) {
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(LATIS_FUZZ_SEEDS)) {
        std::ifstream file(entry.path(), std::ios::binary);
        const std::vector<uint8_t> data{std::istreambuf_iterator<char>(file), {}};
        EXPECT_EQ(LLVMFuzzerTestOneInput(data.data(), data.size()), 0) << entry.path();
        // Every prefix too: a server that stops anywhere.
        for (size_t n = 0; n < data.size(); ++n)
            LLVMFuzzerTestOneInput(data.data(), n);
        ++count;
    }
    EXPECT_GE(count, 20u);
}
