// Package layout, listing, extraction, member names, manifests, determinism.
#include "delta_format.h"
#include "file_io.h"
#include "manifest.h"
#include "package_build.h"
#include "package_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

using namespace fotapack;

namespace {

std::vector<uint8_t> bytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::string scratch(const std::string& name)
{
    std::string dir = std::string(FOTAPACK_TEST_TMP) + "/" + name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

TEST(Package, LayoutFollowsTheTable)
{
    std::vector<uint8_t> p = write_package({{"kernel.mld", bytes("abc")}, {"preprocessing.mld", bytes("")},
                                            {"uboot.mld", bytes("0123456789")}});
    ASSERT_EQ(p.size(), 16u + 3 * 40 + 13);
    EXPECT_EQ(p[0], 0x88);
    EXPECT_EQ(p[1], 0x55);
    EXPECT_EQ(p[2], 0xAA);
    EXPECT_EQ(p[3], 0x55);
    EXPECT_EQ(p[4], 3);
    for (int i = 8; i < 16; ++i) EXPECT_EQ(p[i], 0);
    std::vector<package_entry> entries = read_package_entries(p);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, "kernel.mld");
    EXPECT_EQ(entries[0].offset, 136u);
    EXPECT_EQ(entries[1].offset, 139u);
    EXPECT_EQ(entries[1].length, 0u);
    EXPECT_EQ(entries[2].offset, 139u);
    EXPECT_EQ(std::string(p.begin() + 139, p.end()), "0123456789");
}

TEST(Package, RejectsDamage)
{
    EXPECT_THROW(read_package_entries(bytes("short")), std::runtime_error);
    std::vector<uint8_t> p = write_package({{"kernel.mld", bytes("abc")}});
    p[0] = 0;
    EXPECT_THROW(read_package_entries(p), std::runtime_error);
    p = write_package({{"kernel.mld", bytes("abc")}});
    p.pop_back();
    EXPECT_THROW(read_package_entries(p), std::runtime_error);
    EXPECT_THROW(write_package({{std::string(32, 'x'), bytes("a")}}), std::runtime_error);
}

TEST(Package, ExtractWritesMembersAndIndex)
{
    std::string dir = scratch("extract");
    extract_package(write_package({{"kernel.mld", bytes("abc")}, {"empty.mld", bytes("")}}), dir);
    EXPECT_EQ(read_file(dir + "/kernel.mld"), bytes("abc"));
    EXPECT_TRUE(read_file(dir + "/empty.mld").empty());
    EXPECT_EQ(read_file(dir + "/split_file_info"), bytes("kernel.mld 3empty.mld 0"));
}

TEST(Package, MembersAreNamedByThePartitionTables)
{
    EXPECT_EQ(member_name("kernel", false), "kernel.mld");
    EXPECT_EQ(member_name("uboot_maintenance", false), "uboot_maintenance.mld");
    EXPECT_EQ(member_name("system", true), "system.mld");
    EXPECT_THROW(member_name("system", false), std::runtime_error);
    EXPECT_THROW(member_name("bootloader", false), std::runtime_error);
}

TEST(Manifest, ParsesPartitionsScriptsAndBlockSize)
{
    manifest m = parse_manifest("# demo\nkernel image old/k new/k\n\npre pre.sh  # first\npost /abs/post.sh\n"
                                "block-size 65536\nsystem fs old/sys new/sys\n",
                                "/base");
    ASSERT_EQ(m.partitions.size(), 2u);
    EXPECT_EQ(m.partitions[0].name, "kernel");
    EXPECT_FALSE(m.partitions[0].file_system);
    EXPECT_EQ(m.partitions[0].old_path, "/base/old/k");
    EXPECT_TRUE(m.partitions[1].file_system);
    EXPECT_EQ(m.pre_script, "/base/pre.sh");
    EXPECT_EQ(m.post_script, "/abs/post.sh");
    EXPECT_EQ(m.block_size, 65536u);
    EXPECT_THROW(parse_manifest("kernel image only-old\n", ""), std::runtime_error);
    EXPECT_THROW(parse_manifest("kernel raw a b\n", ""), std::runtime_error);
}

TEST(Build, SameInputsGiveTheSameBytes)
{
    std::string dir = scratch("build");
    std::vector<uint8_t> old_image(300000), new_image;
    for (size_t i = 0; i < old_image.size(); ++i) old_image[i] = uint8_t((i * 7919) >> 5);
    new_image = old_image;
    for (size_t i = 1000; i < new_image.size(); i += 50000) new_image[i] ^= 0xA5;
    write_file(dir + "/k.old", old_image);
    write_file(dir + "/k.new", new_image);
    write_file(dir + "/pre.sh", bytes("echo pre\n"));
    manifest m = parse_manifest("kernel image k.old k.new\nuboot image k.new k.old\npre pre.sh\nblock-size 4096\n", dir);
    std::vector<uint8_t> first = build_package(m);
    EXPECT_EQ(build_package(m), first);
    std::vector<package_entry> entries = read_package_entries(first);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, "kernel.mld");
    EXPECT_EQ(entries[1].name, "uboot.mld");
    EXPECT_EQ(entries[2].name, "preprocessing.mld");
    EXPECT_LT(entries[0].length, 4000u);
    EXPECT_EQ(std::string(first.begin() + entries[0].offset, first.begin() + entries[0].offset + 4), "KVRD");
}

TEST(Build, FileSystemPartitionFromTwoFolders)
{
    std::string dir = scratch("fs_build");
    std::filesystem::create_directories(dir + "/old/etc");
    std::filesystem::create_directories(dir + "/new/etc");
    write_file(dir + "/old/etc/config", bytes("a=1\n"));
    write_file(dir + "/new/etc/config", bytes("a=2\n"));
    write_file(dir + "/new/etc/added", bytes("new\n"));
    manifest m = parse_manifest("system fs old new\n", dir);
    std::vector<uint8_t> first = build_package(m);
    EXPECT_EQ(build_package(m), first);
    std::vector<package_entry> entries = read_package_entries(first);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "system.mld");
    std::vector<uint8_t> member(first.begin() + entries[0].offset,
                                first.begin() + entries[0].offset + entries[0].length);
    kvr_delta_header header;
    ASSERT_TRUE(kvr_delta_header_read(member.data(), uint32_t(member.size()), &header));
    EXPECT_EQ(header.kind, uint32_t(KVR_DELTA_FILE_SYSTEM));
    EXPECT_EQ(header.fs.op_count, 3u); // operations: changed file, new file, the new file's attributes
    EXPECT_THROW(build_package(parse_manifest("system fs missing new\n", dir)), std::runtime_error);
}

} // namespace
