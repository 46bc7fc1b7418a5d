// A fuzz target's corpus replayed in the ordinary build: every input kept in
// the repository (the seeds, and the minimal input of every finding) holds
// the target's invariants. A broken one ends the run with its message.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));

TEST(FuzzCorpus, EveryInputHoldsTheInvariants)
{
    if (LLVMFuzzerInitialize != nullptr)
        LLVMFuzzerInitialize(nullptr, nullptr);
    std::size_t inputs = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(VELASTROM_FUZZ_CORPUS)) {
        if (!entry.is_regular_file())
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        SCOPED_TRACE(entry.path().string());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        ++inputs;
    }
    EXPECT_GT(inputs, 0u) << "no corpus in " << VELASTROM_FUZZ_CORPUS;
}
