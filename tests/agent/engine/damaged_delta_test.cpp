// Damaged deltas and wrong sources never lead to a block write.
#include "delta_format.h"
#include "engine_run.h"
#include "engine_test_support.h"

#include <gtest/gtest.h>

using namespace engine_test;

namespace {

constexpr uint32_t kBlock = 4096;

struct damage_case : ::testing::Test {
    std::vector<uint8_t> old_image = random_bytes(30 * kBlock + 5, 131);
    std::vector<uint8_t> new_image = edited(old_image, 132, 20);
    mem_flash flash = prepared(old_image, new_image, 40 * kBlock, kBlock);

    void expect_refused(const char* what)
    {
        std::vector<uint8_t> before = flash.flash;
        EXPECT_NE(run_engine(&flash, true), 0u) << what;
        EXPECT_NE(run_engine(&flash, false), 0u) << what;
        EXPECT_EQ(flash.block_writes + flash.backup_writes, 0) << what << "\n" << flash.trace;
        EXPECT_TRUE(flash.flash == before) << what;
    }
};

TEST_F(damage_case, FlippedByteAnywhere)
{
    std::vector<uint8_t> good = flash.delta;
    for (size_t at = 0; at < good.size(); at += 1 + good.size() / 97) {
        flash.delta = good;
        flash.delta[at] ^= 0x10;
        expect_refused(("flip at " + std::to_string(at)).c_str());
    }
}

TEST_F(damage_case, Truncated)
{
    std::vector<uint8_t> good = flash.delta;
    kvr_delta_header header;
    ASSERT_TRUE(kvr_delta_header_read(good.data(), uint32_t(good.size()), &header));
    const size_t header_size = kvr_delta_header_size(header);
    for (size_t size : {size_t(0), size_t(10), size_t(KVR_DELTA_HEADER_PREFIX), header_size - 1, header_size,
                        good.size() / 2, good.size() - 1}) {
        flash.delta.assign(good.begin(), good.begin() + long(size));
        expect_refused(("size " + std::to_string(size)).c_str());
    }
}

TEST_F(damage_case, WrongSourceImage)
{
    flash = make_mem_flash(edited(old_image, 133, 5), 40 * kBlock, kBlock);
    flash.delta = prepared(old_image, new_image, 40 * kBlock, kBlock).delta;
    expect_refused("wrong source");
    EXPECT_NE(flash.trace.find("kernel: source region 0x"), std::string::npos) << flash.trace;
}

TEST_F(damage_case, OtherBlockSize)
{
    flash.block_size = 2 * kBlock;
    expect_refused("block size");
    EXPECT_EQ(run_engine(&flash, true), KVR_ENGINE_ERR_BLOCK_SIZE);
}

TEST_F(damage_case, NotADelta)
{
    flash.delta = random_bytes(5000, 134);
    expect_refused("random bytes");
    EXPECT_EQ(run_engine(&flash, false), KVR_ENGINE_ERR_HEADER);
}

} // namespace
