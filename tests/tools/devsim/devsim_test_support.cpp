#include "devsim_test_support.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>

extern char** environ;

namespace devsim_test {

namespace fs = std::filesystem;

temp_folder::temp_folder()
{
    std::string pattern = std::string(DEVSIM_TEST_TMP) + "/devsim-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

temp_folder::~temp_folder()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string read_bytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void write_bytes(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

devsim_result run_devsim(const std::vector<std::string>& args, const std::vector<std::string>& env)
{
    temp_folder capture;
    std::vector<std::string> arguments = {DEVSIM_PROGRAM};
    arguments.insert(arguments.end(), args.begin(), args.end());
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry)
        if (std::strncmp(*entry, "KVR_STANDIN_ENGINE=", 19) != 0 && std::strncmp(*entry, "KVR_SIM_", 8) != 0)
            environment.push_back(*entry);
    environment.insert(environment.end(), env.begin(), env.end());
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);

    std::string out_path = (capture / "out").string();
    std::string err_path = (capture / "err").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t child = -1;
    int failed = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    devsim_result result;
    if (failed != 0) {
        result.err = std::string("cannot start devsim: ") + std::strerror(failed);
        return result;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = read_bytes(out_path);
    result.err = read_bytes(err_path);
    return result;
}

std::string report_section(const std::string& out, const std::string& header)
{
    size_t begin = out.find("\n" + header);
    if (begin == std::string::npos) return "";
    ++begin;
    size_t end = begin + header.size();
    while ((end = out.find('\n', end)) != std::string::npos && end + 1 < out.size() && out[end + 1] == ' ') ++end;
    return out.substr(begin, end == std::string::npos ? std::string::npos : end + 1 - begin);
}

std::vector<std::string> logged_messages(const std::string& section)
{
    std::vector<std::string> messages;
    const std::string prefix = "\n  log: ";
    for (size_t at = section.find(prefix); at != std::string::npos; at = section.find(prefix, at + 1)) {
        size_t begin = at + prefix.size();
        messages.push_back(section.substr(begin, section.find('\n', begin) - begin));
    }
    return messages;
}

std::vector<std::string> all_flash(const fs::path& root)
{
    std::vector<std::string> flash;
    for (int n = 0; fs::exists(root / "dev/mtd" / ("mtd" + std::to_string(n))); ++n)
        flash.push_back(read_bytes(root / "dev/mtd" / ("mtd" + std::to_string(n))));
    return flash;
}

} // namespace devsim_test
