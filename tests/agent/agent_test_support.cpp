#include "agent_test_support.h"

#include "key_text.h"
#include "le_fields.h"
#include "log.h"
#include "os.h"
#include "package_format.h"
#include "part_tables.h"
#include "paths.h"
#include "signature_record.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace agent_test {

namespace fs = std::filesystem;

std::vector<partition> standard_partitions()
{
    std::vector<std::string> names;
    for (const part_entry* table : {system_part_table, recovery_part_table})
        for (const part_entry* row = table; row->part_name != nullptr; ++row) names.push_back(row->part_name);
    names.insert(names.end(), {"misc", "fota", "cache"});
    std::vector<partition> parts;
    for (const std::string& name : names) parts.push_back({name, 0x40000, 0x20000});
    return parts;
}

sim_root::sim_root(const std::vector<partition>& partitions) : partitions_(partitions)
{
    std::string pattern = std::string(AGENT_TEST_TMP) + "/sim-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    root_ = pattern + "/root";
    fs::create_directories(root_ + "/cache");
    fs::create_directories(root_ + "/proc");
    std::ostringstream table;
    table << "dev:    size   erasesize  name\n";
    for (size_t i = 0; i < partitions_.size(); ++i) {
        char line[128];
        std::snprintf(line, sizeof line, "mtd%zu: %08x %08x \"%s\"\n", i, partitions_[i].size,
                      partitions_[i].erasesize, partitions_[i].name.c_str());
        table << line;
    }
    write("/proc/mtd", table.str());
    fs::create_directories(real(KVR_SIM_TRUSTED_KEYS_DIR));
    write(KVR_SIM_TRUSTED_KEYS_DIR "test.public", trusted_key().public_text);
}

sim_root::~sim_root()
{
    std::error_code ignored;
    fs::remove_all(fs::path(root_).parent_path(), ignored);
}

std::string sim_root::real(const std::string& device_path) const
{
    return root_ + device_path;
}

bool sim_root::exists(const std::string& device_path) const
{
    struct stat st;
    return lstat(real(device_path).c_str(), &st) == 0;
}

std::string sim_root::read(const std::string& device_path) const
{
    std::ifstream in(real(device_path), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void sim_root::write(const std::string& device_path, const std::string& content) const
{
    fs::create_directories(fs::path(real(device_path)).parent_path());
    std::ofstream out(real(device_path), std::ios::binary | std::ios::trunc);
    out << content;
}

int sim_root::mode(const std::string& device_path) const
{
    struct stat st;
    return stat(real(device_path).c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

int sim_root::mtd_number(const std::string& name) const
{
    for (size_t i = 0; i < partitions_.size(); ++i)
        if (partitions_[i].name == name) return static_cast<int>(i);
    return -1;
}

void put_u32(std::string& bytes, size_t at, uint32_t value)
{
    kvr_put_le32(reinterpret_cast<uint8_t*>(&bytes[at]), value);
}

std::string make_package_with_count(const members& content, int32_t count)
{
    std::string bytes(KVR_PACKAGE_HEADER_SIZE + KVR_PACKAGE_ENTRY_SIZE * content.size(), '\0');
    put_u32(bytes, 0, KVR_PACKAGE_MAGIC);
    put_u32(bytes, 4, static_cast<uint32_t>(count));
    uint32_t offset = static_cast<uint32_t>(bytes.size());
    for (size_t i = 0; i < content.size(); ++i) {
        size_t entry = KVR_PACKAGE_HEADER_SIZE + KVR_PACKAGE_ENTRY_SIZE * i;
        std::memcpy(&bytes[entry], content[i].first.data(),
                    std::min<size_t>(content[i].first.size(), KVR_PACKAGE_NAME_SIZE));
        put_u32(bytes, entry + KVR_PACKAGE_NAME_SIZE, static_cast<uint32_t>(content[i].second.size()));
        put_u32(bytes, entry + KVR_PACKAGE_NAME_SIZE + 4, offset);
        offset += static_cast<uint32_t>(content[i].second.size());
    }
    for (const auto& member : content) bytes += member.second;
    return bytes;
}

std::string make_package(const members& content)
{
    return make_package_with_count(content, static_cast<int32_t>(content.size()));
}

namespace {

signing_key new_key()
{
    if (sodium_init() < 0) throw std::runtime_error("libsodium cannot start");
    signing_key key;
    crypto_sign_keypair(key.public_key, key.secret);
    key.public_text = kvr_format_key(KVR_KEY_PUBLIC, key.public_key);
    return key;
}

} // namespace

const signing_key& trusted_key()
{
    static const signing_key key = new_key();
    return key;
}

const signing_key& other_key()
{
    static const signing_key key = new_key();
    return key;
}

std::string make_signed_package(const members& content, const signing_key& key)
{
    members signed_content = content;
    signed_content.push_back({KVR_SIGNATURE_MEMBER, std::string(KVR_SIGNATURE_RECORD_SIZE, '\0')});
    std::string bytes = make_package(signed_content);
    resign(bytes, key);
    return bytes;
}

void resign(std::string& package, const signing_key& key)
{
    size_t record_at = package.size() - KVR_SIGNATURE_RECORD_SIZE;
    kvr_sign_bytes(reinterpret_cast<const uint8_t*>(package.data()), record_at, key.secret,
                   reinterpret_cast<uint8_t*>(&package[record_at]));
}

void attach(const sim_root& root)
{
    setenv("KVR_FOTA_ROOT", root.path().c_str(), 1);
    ASSERT_EQ(os_init(), 0);
    fs::create_directories(root.real(KVR_DUA_TMP_DIR));
    ASSERT_EQ(kvr_open_message_file(&g_kvr_log, KVR_LOG_PATH, 1), 0);
    ASSERT_EQ(kvr_open_fatal_message_file(&g_kvr_fatal_log, KVR_FATAL_LOG_PATH, 1), 0);
}

void detach()
{
    kvr_close_message_file(&g_kvr_log);
    kvr_close_message_file(&g_kvr_fatal_log);
    unsetenv("KVR_FOTA_ROOT");
}

namespace {

int restart_count(const sim_root& root)
{
    std::string text = root.read("/sim/restarts");
    return text.empty() ? 0 : std::atoi(text.c_str());
}

bool is_agent_variable(const char* entry)
{
    for (const char* name : {"KVR_FOTA_ROOT=", "KVR_STANDIN_ENGINE=", "KVR_SIM_REBOOT_FAIL="})
        if (std::strncmp(entry, name, std::strlen(name)) == 0) return true;
    return false;
}

} // namespace

run_result run_agent(const sim_root& root, const std::vector<std::string>& args, const std::vector<std::string>& env)
{
    return run_program(KVR_SIM_BINARY, root, args, env);
}

run_result run_program(const char* binary, const sim_root& root, const std::vector<std::string>& args,
                       const std::vector<std::string>& env)
{
    std::vector<std::string> arguments;
    if (std::strlen(KVR_SIM_EMULATOR) > 0) arguments.push_back(KVR_SIM_EMULATOR);
    arguments.push_back(binary);
    arguments.insert(arguments.end(), args.begin(), args.end());
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry)
        if (!is_agent_variable(*entry)) environment.push_back(*entry);
    environment.push_back("KVR_FOTA_ROOT=" + root.path());
    environment.insert(environment.end(), env.begin(), env.end());
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);

    std::string err_path = fs::path(root.path()).parent_path().string() + "/stderr";
    int before = restart_count(root);
    std::fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (err >= 0) dup2(err, 2);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    std::ifstream in(err_path);
    std::ostringstream err;
    err << in.rdbuf();
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, restart_count(root) - before, err.str()};
}

int run_update_to_end(const sim_root& root, const std::vector<std::string>& env, int limit)
{
    int starts = 1;
    run_result run = run_agent(root, {"update"}, env);
    while (run.restarts > 0 && starts < limit) {
        run = run_agent(root, {}, env);
        ++starts;
    }
    return starts;
}

int count_of(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

} // namespace agent_test
