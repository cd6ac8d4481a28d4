// The fotapack program as its users run it.
#include "file_io.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

struct outcome {
    int status;
    std::string output;
};

outcome run(const std::string& args)
{
    std::string command = std::string(FOTAPACK_PROGRAM) + " " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    outcome o{-1, {}};
    if (pipe == nullptr) return o;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) o.output.append(buffer, n);
    int raw = pclose(pipe);
    o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return o;
}

TEST(CommandLine, EveryCommandHasHelp)
{
    for (const char* command : {"diff", "build", "list", "extract", "keygen", "sign", "verify"}) {
        outcome o = run(std::string(command) + " --help");
        EXPECT_EQ(o.status, 0) << command;
        EXPECT_NE(o.output.find(std::string("usage: fotapack ") + command), std::string::npos) << o.output;
    }
    EXPECT_EQ(run("--help").status, 0);
    EXPECT_EQ(run("").status, 2);
    EXPECT_EQ(run("frobnicate").status, 2);
    EXPECT_EQ(run("diff onlyone").status, 2);
}

TEST(CommandLine, BuildListExtract)
{
    std::string dir = std::string(FOTAPACK_TEST_TMP) + "/cli";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir + "/out");
    std::vector<uint8_t> old_image(50000, 0x11), new_image(60000, 0x22);
    fotapack::write_file(dir + "/old.bin", old_image);
    fotapack::write_file(dir + "/new.bin", new_image);
    std::string manifest = "kernel image old.bin new.bin\n";
    fotapack::write_file(dir + "/manifest", std::vector<uint8_t>(manifest.begin(), manifest.end()));
    ASSERT_EQ(run("build " + dir + "/manifest " + dir + "/update.pkg").status, 0);
    outcome listed = run("list " + dir + "/update.pkg");
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.output.rfind("kernel.mld ", 0), 0u) << listed.output;
    ASSERT_EQ(run("extract " + dir + "/update.pkg " + dir + "/out").status, 0);
    EXPECT_TRUE(std::filesystem::exists(dir + "/out/kernel.mld"));
    EXPECT_TRUE(std::filesystem::exists(dir + "/out/split_file_info"));
    outcome diffed = run("diff " + dir + "/old.bin " + dir + "/new.bin " + dir + "/kernel.delta");
    EXPECT_EQ(diffed.status, 0) << diffed.output;
    EXPECT_EQ(fotapack::read_file(dir + "/kernel.delta"), fotapack::read_file(dir + "/out/kernel.mld"));
    // --fs wants folders.
    EXPECT_EQ(run("diff --fs " + dir + "/old.bin " + dir + "/new.bin " + dir + "/x").status, 1);
    std::filesystem::create_directories(dir + "/old_fs");
    std::filesystem::create_directories(dir + "/new_fs");
    fotapack::write_file(dir + "/new_fs/added", std::vector<uint8_t>{'n', 'e', 'w'});
    outcome fs_diffed = run("diff --fs " + dir + "/old_fs " + dir + "/new_fs " + dir + "/system.delta");
    EXPECT_EQ(fs_diffed.status, 0) << fs_diffed.output;
    EXPECT_NE(fs_diffed.output.find("2 file operations"), std::string::npos) << fs_diffed.output;
    EXPECT_EQ(fotapack::read_file(dir + "/system.delta").at(0), 'K');
    EXPECT_EQ(run("list " + dir + "/manifest").status, 1);
}

TEST(CommandLine, KeygenSignVerifyList)
{
    namespace fs = std::filesystem;
    std::string dir = std::string(FOTAPACK_TEST_TMP) + "/signing";
    fs::remove_all(dir);
    fs::create_directories(dir);
    outcome made = run("keygen " + dir + "/a.secret " + dir + "/a.public");
    ASSERT_EQ(made.status, 0) << made.output;
    EXPECT_EQ(made.output, "");
    ASSERT_EQ(run("keygen " + dir + "/b.secret " + dir + "/b.public").status, 0);
    struct stat st;
    ASSERT_EQ(stat((dir + "/a.secret").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    outcome again = run("keygen " + dir + "/a.secret " + dir + "/c.public");
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.output.find("File exists"), std::string::npos) << again.output;
    EXPECT_EQ(run("keygen " + dir + "/only.secret").status, 2);

    std::string manifest = "kernel image old.bin new.bin\npre pre.sh\n";
    fotapack::write_file(dir + "/manifest", std::vector<uint8_t>(manifest.begin(), manifest.end()));
    fotapack::write_file(dir + "/old.bin", std::vector<uint8_t>(40000, 0x11));
    fotapack::write_file(dir + "/new.bin", std::vector<uint8_t>(45000, 0x33));
    fotapack::write_file(dir + "/pre.sh", std::vector<uint8_t>{'t', 'r', 'u', 'e', '\n'});
    std::string pkg = dir + "/update.pkg";
    ASSERT_EQ(run("build " + dir + "/manifest " + pkg).status, 0);
    std::vector<uint8_t> unsigned_bytes = fotapack::read_file(pkg);
    outcome listed = run("list " + pkg);
    EXPECT_NE(listed.output.find("\nnot signed\n"), std::string::npos) << listed.output;
    EXPECT_EQ(run("verify " + pkg + " --public " + dir + "/a.public").output,
              "fotapack verify: " + pkg + ": package is not signed\n");

    ASSERT_EQ(run("sign " + pkg + " --key " + dir + "/a.secret").status, 0);
    std::vector<uint8_t> signed_bytes = fotapack::read_file(pkg);
    EXPECT_EQ(signed_bytes.size(), unsigned_bytes.size() + 40 + 80);
    outcome verified = run("verify " + pkg + " --public " + dir + "/b.public " + dir + "/a.public");
    EXPECT_EQ(verified.status, 0) << verified.output;
    size_t id_at = verified.output.find("signed by key ");
    ASSERT_NE(id_at, std::string::npos) << verified.output;
    std::string key_id = verified.output.substr(id_at + 14, 16);
    listed = run("list " + pkg);
    EXPECT_NE(listed.output.find("\nsignature.sig 80 "), std::string::npos) << listed.output;
    EXPECT_NE(listed.output.find("\nsigned by key " + key_id + "\n"), std::string::npos) << listed.output;
    outcome foreign = run("verify " + pkg + " --public " + dir + "/b.public");
    EXPECT_EQ(foreign.status, 1);
    EXPECT_NE(foreign.output.find("package is signed by an unknown key"), std::string::npos) << foreign.output;
    ASSERT_EQ(run("extract " + pkg + " " + dir).status, 0);
    EXPECT_EQ(fotapack::read_file(dir + "/preprocessing.mld"), fotapack::read_file(dir + "/pre.sh"));

    // Signing again replaces the signature; build --key gives the same bytes.
    ASSERT_EQ(run("sign " + pkg + " --key " + dir + "/a.secret").status, 0);
    EXPECT_EQ(fotapack::read_file(pkg), signed_bytes);
    ASSERT_EQ(run("build " + dir + "/manifest " + dir + "/direct.pkg --key " + dir + "/a.secret").status, 0);
    EXPECT_EQ(fotapack::read_file(dir + "/direct.pkg"), signed_bytes);
    ASSERT_EQ(run("sign " + pkg + " --key " + dir + "/b.secret").status, 0);
    EXPECT_EQ(run("verify " + pkg + " --public " + dir + "/b.public").status, 0);

    // One byte of a member changed, a byte appended, keys of the wrong kind.
    std::vector<uint8_t> altered = signed_bytes;
    altered[altered.size() - 100] ^= 0x04;
    fotapack::write_file(dir + "/altered.pkg", altered);
    EXPECT_NE(run("verify " + dir + "/altered.pkg --public " + dir + "/a.public").output.find("signature is bad"),
              std::string::npos);
    altered = signed_bytes;
    altered.push_back(0);
    fotapack::write_file(dir + "/longer.pkg", altered);
    EXPECT_NE(run("verify " + dir + "/longer.pkg --public " + dir + "/a.public").output.find("altered"),
              std::string::npos);
    outcome wrong_kind = run("verify " + pkg + " --public " + dir + "/a.secret");
    EXPECT_EQ(wrong_kind.status, 1);
    EXPECT_NE(wrong_kind.output.find("is not a public key file"), std::string::npos) << wrong_kind.output;
    std::vector<uint8_t> secret_text = fotapack::read_file(dir + "/a.secret");
    std::string secret_hex(secret_text.begin() + long(secret_text.size()) - 129, secret_text.end() - 1);
    EXPECT_EQ(wrong_kind.output.find(secret_hex), std::string::npos);
    EXPECT_EQ(run("sign " + pkg + " --key " + dir + "/a.public").status, 1);
    EXPECT_EQ(run("sign " + pkg).status, 2);
    EXPECT_EQ(run("verify " + pkg).status, 2);
}

} // namespace
