// The shared format pieces: SHA-256, header fields, varints.
#include "code_transform.h"
#include "delta_format.h"

#include <sodium.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string hex(const uint8_t* digest)
{
    std::string out;
    char two[3];
    for (int i = 0; i < 32; ++i) {
        std::snprintf(two, sizeof two, "%02x", digest[i]);
        out += two;
    }
    return out;
}

TEST(Sha256, KnownVectors)
{
    uint8_t digest[32];
    crypto_hash_sha256(digest, reinterpret_cast<const uint8_t*>(""), 0);
    EXPECT_EQ(hex(digest), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    const char* abc = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    crypto_hash_sha256(digest, reinterpret_cast<const uint8_t*>(abc), std::strlen(abc));
    EXPECT_EQ(hex(digest), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    // A million 'a' fed in uneven pieces.
    crypto_hash_sha256_state ctx;
    crypto_hash_sha256_init(&ctx);
    std::string a(1000, 'a');
    for (int i = 0; i < 1000; ++i) crypto_hash_sha256_update(&ctx, reinterpret_cast<const uint8_t*>(a.data()), 1000);
    crypto_hash_sha256_final(&ctx, digest);
    EXPECT_EQ(hex(digest), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

namespace {

// The common fields, each of its own value; the delta hash bytes step by `step`.
kvr_delta_header common_header(uint32_t kind, uint32_t dict_size, uint32_t frames, uint32_t body, int step)
{
    kvr_delta_header h = {};
    h.version = KVR_DELTA_VERSION;
    h.kind = kind;
    h.codec = KVR_DELTA_CODEC_LZMA2;
    h.dict_size = dict_size;
    h.frame_count = frames;
    h.body_size = body;
    for (int i = 0; i < 32; ++i) h.delta_hash[i] = uint8_t(step * i);
    return h;
}

kvr_delta_header image_header(uint32_t transform)
{
    kvr_delta_header h = common_header(KVR_DELTA_IMAGE, 0x300000, 2, 4242, 3);
    h.image.block_size = 0x20000;
    h.image.source_size = 123456;
    h.image.target_size = 654321;
    h.image.block_count = 5;
    h.image.ref_count = 9;
    h.image.transform = transform;
    if (transform != KVR_TRANSFORM_NONE) {
        h.image.transform_start = 0x34;
        h.image.transform_end = 0x10000;
        h.image.map_count = 7;
    }
    for (int i = 0; i < 32; ++i) h.image.source_hash[i] = uint8_t(i), h.image.target_hash[i] = uint8_t(2 * i);
    return h;
}

} // namespace

TEST(DeltaFormat, HeaderFieldsRoundTripForEachKind)
{
    kvr_delta_header fs = common_header(KVR_DELTA_FILE_SYSTEM, 4096, 3, 999, 5);
    fs.fs.op_count = 4;
    fs.fs.text_size = 77;
    // Without a transform an image header is as small as before the
    // transform fields existed; a file-system header carries no image fields.
    const struct {
        kvr_delta_header header;
        uint32_t size;
    } cases[] = {{image_header(KVR_TRANSFORM_THUMB2), 160}, {image_header(KVR_TRANSFORM_NONE), 148}, {fs, 68}};
    for (const auto& c : cases) {
        uint8_t raw[KVR_DELTA_HEADER_MAX + 1] = {};
        ASSERT_EQ(kvr_delta_header_write(c.header, raw), c.size);
        EXPECT_EQ(kvr_delta_header_size(c.header), c.size);
        EXPECT_EQ(std::memcmp(raw, "KVRD", 4), 0);
        EXPECT_EQ(raw[4], 4);
        EXPECT_EQ(std::memcmp(raw + c.size - 32, c.header.delta_hash, 32), 0);
        kvr_delta_header back = {};
        ASSERT_TRUE(kvr_delta_header_read(raw, c.size, &back));
        EXPECT_EQ(std::memcmp(&back, &c.header, sizeof back), 0);
        EXPECT_TRUE(kvr_delta_header_read(raw, c.size + 1, &back));
        EXPECT_FALSE(kvr_delta_header_read(raw, c.size - 1, &back));
    }
    uint8_t raw[KVR_DELTA_HEADER_MAX];
    kvr_delta_header_write(image_header(KVR_TRANSFORM_A64), raw);
    EXPECT_EQ(kvr_le32(raw + 28), 0x20000u);                  // block size
    EXPECT_EQ(kvr_le32(raw + 48), uint32_t(KVR_TRANSFORM_A64)); // transform
    EXPECT_EQ(kvr_le32(raw + 56), 0x10000u);                  // transform end
    EXPECT_EQ(kvr_delta_header_bytes(raw, KVR_DELTA_HEADER_PREFIX), 52u);
    EXPECT_EQ(kvr_delta_header_bytes(raw, 52), 160u);
    kvr_delta_header back = {};
    for (uint8_t version : {1, 2, 3, 5}) { // 1: 32-byte block hashes; 2: no transform; 3: one header for both kinds
        raw[4] = version;
        EXPECT_EQ(kvr_delta_header_bytes(raw, KVR_DELTA_HEADER_MAX), 0u);
        EXPECT_FALSE(kvr_delta_header_read(raw, KVR_DELTA_HEADER_MAX, &back));
    }
    raw[4] = 4;
    raw[8] = 3; // no such kind
    EXPECT_FALSE(kvr_delta_header_read(raw, KVR_DELTA_HEADER_MAX, &back));
}

TEST(DeltaFormat, VarintsAndZigzag)
{
    for (uint32_t v : {0u, 1u, 127u, 128u, 300u, 0xFFFFFFFFu}) {
        uint8_t bytes[KVR_VARINT_MAX];
        uint32_t n = kvr_put_varint(bytes, v);
        const uint8_t* cursor = bytes;
        uint32_t back = 0;
        ASSERT_TRUE(kvr_get_varint(&cursor, bytes + n, &back));
        EXPECT_EQ(back, v);
        EXPECT_EQ(cursor, bytes + n);
        cursor = bytes;
        if (n > 1) {
            EXPECT_FALSE(kvr_get_varint(&cursor, bytes + n - 1, &back));
        }
    }
    const uint8_t too_long[] = {0xFF, 0xFF, 0xFF, 0xFF, 0x1F};
    const uint8_t* cursor = too_long;
    uint32_t value;
    EXPECT_FALSE(kvr_get_varint(&cursor, too_long + 5, &value));
    for (int32_t v : {0, 1, -1, 1000, -1000, INT32_MAX, INT32_MIN}) EXPECT_EQ(kvr_unzigzag(kvr_zigzag(v)), v);
}

} // namespace
