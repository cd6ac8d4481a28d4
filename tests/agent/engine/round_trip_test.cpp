// Whole updates on the in-memory partition: random and real image pairs,
// odd sizes, a partition larger than the heap, identical images.
#include "delta_format.h"
#include "engine_run.h"
#include "engine_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace engine_test;

namespace {

constexpr uint32_t kBlock = 128 * 1024;

void expect_update(const std::vector<uint8_t>& old_image, const std::vector<uint8_t>& new_image, uint32_t size,
                   uint32_t block_size)
{
    mem_flash flash = prepared(old_image, new_image, size, block_size);
    ASSERT_EQ(run_engine(&flash, true), 0u) << flash.trace;
    EXPECT_EQ(flash.block_writes, 0);
    ASSERT_EQ(run_engine(&flash, false), 0u) << flash.trace;
    EXPECT_TRUE(holds(flash, new_image));
    EXPECT_EQ(flash.last_percent, 100u);
    EXPECT_EQ(flash.block_writes, flash.backup_writes);
    EXPECT_LE(traced_heap_peak(flash), 0xA00000u);
    // A repeat finds every block done and writes nothing.
    long writes = flash.block_writes;
    ASSERT_EQ(run_engine(&flash, false), 0u) << flash.trace;
    EXPECT_EQ(flash.block_writes, writes);
    EXPECT_EQ(run_engine(&flash, true), 0u) << flash.trace;
}

TEST(EngineRoundTrip, RandomPairsWithOddSizes)
{
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        std::vector<uint8_t> old_image = random_bytes(100000 + seed * 7919, seed);
        std::vector<uint8_t> new_image = edited(old_image, seed + 100, 20);
        SCOPED_TRACE(seed);
        expect_update(old_image, new_image, 256 * 1024, 4096);
    }
}

TEST(EngineRoundTrip, GrowingAndShrinkingImages)
{
    std::vector<uint8_t> small = random_bytes(50001, 7);
    std::vector<uint8_t> large = small;
    std::vector<uint8_t> tail = random_bytes(30011, 8);
    large.insert(large.end(), tail.begin(), tail.end());
    expect_update(small, large, 128 * 1024, 4096);
    expect_update(large, small, 128 * 1024, 4096);
}

TEST(EngineRoundTrip, RealPairs)
{
    if (!std::filesystem::is_directory(BENCH_DATA_DIR)) GTEST_SKIP() << "no image pairs at " << BENCH_DATA_DIR;
    const char* pairs[][2] = {
        {"micropython-esp8266/esp8266-20180511-v1.9.4.bin", "micropython-esp8266/esp8266-20190125-v1.10.bin"},
        {"micropython-pybv11/firmware1-v1.10.bin", "micropython-pybv11/firmware1-1f5d945af.bin"},
        {"openssl-armhf/libcrypto.so.3-3.0.20", "openssl-armhf/libcrypto.so.3-3.0.22"}};
    for (auto& pair : pairs) {
        SCOPED_TRACE(pair[1]);
        expect_update(read_bench_file(pair[0]), read_bench_file(pair[1]), 4u << 20, kBlock);
        // And backwards, new to old.
        expect_update(read_bench_file(pair[1]), read_bench_file(pair[0]), 4u << 20, kBlock);
    }
}

TEST(EngineRoundTrip, PartitionLargerThanTheHeap)
{
    constexpr uint32_t kSize = 64u << 20;
    std::vector<uint8_t> old_image = random_bytes(kSize - 12345, 21);
    std::vector<uint8_t> new_image = edited(old_image, 22, 40);
    new_image.resize(std::min<size_t>(new_image.size(), kSize));
    mem_flash flash = prepared(old_image, new_image, kSize, kBlock);
    ASSERT_EQ(run_engine(&flash, false), 0u) << flash.trace;
    EXPECT_TRUE(holds(flash, new_image));
    EXPECT_GT(traced_heap_peak(flash), 0u);
    EXPECT_LE(traced_heap_peak(flash), 0xA00000u);
}

TEST(EngineRoundTrip, IdenticalImagesNeedNoWrites)
{
    std::vector<uint8_t> image = random_bytes(300000, 31);
    mem_flash flash = prepared(image, image, 512 * 1024, 4096);
    kvr_delta_header header;
    ASSERT_TRUE(kvr_delta_header_read(flash.delta.data(), uint32_t(flash.delta.size()), &header));
    EXPECT_EQ(header.image.block_count, 0u);
    EXPECT_EQ(header.frame_count, 0u);
    ASSERT_EQ(run_engine(&flash, true), 0u) << flash.trace;
    ASSERT_EQ(run_engine(&flash, false), 0u) << flash.trace;
    EXPECT_EQ(flash.block_writes + flash.backup_writes, 0);
    EXPECT_TRUE(holds(flash, image));
}

TEST(EngineRoundTrip, UnchangedBlocksAreNeverWritten)
{
    std::vector<uint8_t> old_image = random_bytes(40 * 4096, 41);
    std::vector<uint8_t> new_image = old_image;
    new_image[5 * 4096 + 17] ^= 0x5A;
    new_image[30 * 4096 + 4000] ^= 0x01;
    mem_flash flash = prepared(old_image, new_image, 64 * 4096, 4096);
    ASSERT_EQ(run_engine(&flash, false), 0u) << flash.trace;
    EXPECT_EQ(flash.block_writes, 2);
    EXPECT_EQ(flash.backup_writes, 2);
    EXPECT_TRUE(holds(flash, new_image));
}

TEST(EngineRoundTrip, TooSmallHeapFailsCleanly)
{
    std::vector<uint8_t> old_image = random_bytes(200000, 51);
    mem_flash flash = prepared(old_image, edited(old_image, 52, 10), 256 * 1024, 4096);
    EXPECT_EQ(run_engine(&flash, false, 64 * 1024), KVR_ENGINE_ERR_NO_MEMORY) << flash.trace;
    EXPECT_EQ(flash.block_writes + flash.backup_writes, 0);
    EXPECT_NE(flash.trace.find("heap exhausted"), std::string::npos);
    EXPECT_TRUE(holds(flash, old_image));
}

} // namespace
