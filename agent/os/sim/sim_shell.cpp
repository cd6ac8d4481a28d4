// Known commands: "busybox flash_eraseall DEV", "busybox dd if= of= bs= count=
// seek= skip= conv=notrunc", "touch FILE...", "rm [-f] [-r] PATH...",
// "ln [-s] [-f] TARGET LINK" (LINK may be a folder), "sync", "killall [-SIGNAL] NAME",
// "echo 3 > /proc/sys/vm/drop_caches" and "sh SCRIPT [ARG...]", one per call;
// lists, pipes, redirections, quotes and expansions are refused. Scripts run
// with the machine's /bin/sh, in the root folder, with KVR_FOTA_ROOT set.
#include "sim_shell.h"

#include "sim_mtd.h"
#include "sim_root.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <ftw.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using args = std::vector<std::string>;

int exit_status(int code)
{
    return (code & 0xFF) << 8;
}

int fail(const args& argv, const char* what)
{
    std::fprintf(stderr, "sim %s: %s: %s\n", argv[0].c_str(), what, std::strerror(errno));
    return exit_status(1);
}

bool map(const std::string& path, std::string& out)
{
    char buffer[PATH_MAX];
    if (sim_map(path.c_str(), buffer, sizeof buffer) != 0) return false;
    out = buffer;
    return true;
}

args split(const char* command)
{
    args argv;
    std::string word;
    for (const char* p = command;; ++p) {
        if (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\0') {
            if (!word.empty()) argv.push_back(word);
            word.clear();
            if (*p == '\0') return argv;
        } else {
            word += *p;
        }
    }
}

// Option letters before the operands; false on an unknown letter.
bool take_options(const args& argv, const char* known, std::string& letters, size_t& first)
{
    for (first = 1; first < argv.size() && argv[first].size() > 1 && argv[first][0] == '-'; ++first)
        for (char c : argv[first].substr(1)) {
            if (std::strchr(known, c) == nullptr) return false;
            letters += c;
        }
    return true;
}

int flash_eraseall(const args& argv)
{
    int number = argv.size() == 3 ? sim_mtd_number(argv[2].c_str()) : -1;
    if (number < 0) {
        errno = EINVAL;
        return fail(argv, "flash_eraseall");
    }
    return sim_mtd_erase_all(number) == 0 ? 0 : fail(argv, "flash_eraseall");
}

struct dd_request {
    std::string in, out;
    long bs = 512, count = -1, seek = 0, skip = 0;
    bool notrunc = false;
};

bool dd_parse(const args& argv, dd_request& r)
{
    for (size_t i = 2; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        size_t eq = a.find('=');
        if (eq == std::string::npos) return false;
        std::string key = a.substr(0, eq);
        std::string value = a.substr(eq + 1);
        char* end = nullptr;
        long number = std::strtol(value.c_str(), &end, 10);
        bool numeric = !value.empty() && *end == '\0' && number >= 0;
        if (key == "if") r.in = value;
        else if (key == "of") r.out = value;
        else if (key == "conv" && value == "notrunc") r.notrunc = true;
        else if (!numeric) return false;
        else if (key == "bs" && number > 0 && number <= (1 << 20)) r.bs = number;
        else if (key == "count") r.count = number;
        else if (key == "seek") r.seek = number;
        else if (key == "skip") r.skip = number;
        else return false;
    }
    return !r.in.empty() && !r.out.empty();
}

// Opens dd's output: a simulated flash (through its block device) is
// written in place, any other file as dd does it.
int dd_open_output(const dd_request& r, off_t& limit)
{
    int number = sim_mtd_number(r.out.c_str());
    sim_mtd_part part;
    limit = -1;
    if (number >= 0) {
        if (sim_mtd_lookup(number, &part) != 0) return -1;
        limit = part.size;
        return sim_mtd_open(part, O_WRONLY);
    }
    std::string path;
    if (!map(r.out, path)) return -1;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0 && !r.notrunc && ftruncate(fd, static_cast<off_t>(r.seek) * r.bs) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int dd(const args& argv)
{
    dd_request r;
    if (!dd_parse(argv, r)) {
        errno = EINVAL;
        return fail(argv, "dd");
    }
    std::string in_path;
    int in = map(r.in, in_path) ? open(in_path.c_str(), O_RDONLY | O_CLOEXEC) : -1;
    if (in < 0) return fail(argv, "dd: input");
    off_t limit = -1;
    int out = dd_open_output(r, limit);
    if (out < 0) {
        close(in);
        return fail(argv, "dd: output");
    }
    std::vector<char> block(r.bs);
    off_t from = static_cast<off_t>(r.skip) * r.bs;
    off_t to = static_cast<off_t>(r.seek) * r.bs;
    bool ok = true;
    for (long n = 0; ok && (r.count < 0 || n < r.count); ++n) {
        ssize_t got = pread(in, block.data(), block.size(), from);
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        if (limit >= 0 && to + got > limit) {
            errno = ENOSPC;
            ok = false;
            break;
        }
        ok = pwrite(out, block.data(), got, to) == got;
        from += got;
        to += got;
    }
    close(in);
    close(out);
    return ok ? 0 : fail(argv, "dd");
}

int touch(const args& argv)
{
    for (size_t i = 1; i < argv.size(); ++i) {
        std::string path;
        int fd = map(argv[i], path) ? open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644) : -1;
        if (fd < 0 || futimens(fd, nullptr) != 0) {
            if (fd >= 0) close(fd);
            return fail(argv, argv[i].c_str());
        }
        close(fd);
    }
    return argv.size() > 1 ? 0 : exit_status(1);
}

int remove_entry(const char* path, const struct stat*, int, FTW*)
{
    return remove(path);
}

int rm(const args& argv)
{
    std::string options;
    size_t first = 0;
    if (!take_options(argv, "frR", options, first) || first == argv.size()) {
        errno = EINVAL;
        return fail(argv, "usage");
    }
    bool force = options.find('f') != std::string::npos;
    bool recursive = options.find_first_of("rR") != std::string::npos;
    int status = 0;
    for (size_t i = first; i < argv.size(); ++i) {
        std::string path;
        struct stat st;
        if (!map(argv[i], path)) {
            status = fail(argv, argv[i].c_str());
        } else if (lstat(path.c_str(), &st) != 0) {
            if (!force) status = fail(argv, argv[i].c_str());
        } else if (S_ISDIR(st.st_mode) && !recursive) {
            errno = EISDIR;
            status = fail(argv, argv[i].c_str());
        } else if (S_ISDIR(st.st_mode) ? nftw(path.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS) != 0
                                       : unlink(path.c_str()) != 0) {
            status = fail(argv, argv[i].c_str());
        }
    }
    return status;
}

int ln(const args& argv)
{
    std::string options;
    size_t first = 0;
    if (!take_options(argv, "sf", options, first) || argv.size() - first != 2) {
        errno = EINVAL;
        return fail(argv, "usage");
    }
    bool symbolic = options.find('s') != std::string::npos;
    const std::string& target = argv[first];
    std::string link_path;
    std::string target_path = target;
    bool relative_link = symbolic && target[0] != '/';
    bool target_ok = relative_link ? !sim_path_climbs(target.c_str()) : map(target, target_path);
    if (!target_ok || !map(argv[first + 1], link_path)) {
        errno = EACCES;
        return fail(argv, "path");
    }
    struct stat st;
    if (stat(link_path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        size_t slash = target.find_last_of('/');
        link_path += "/" + (slash == std::string::npos ? target : target.substr(slash + 1));
    }
    if (options.find('f') != std::string::npos) unlink(link_path.c_str());
    int result = symbolic ? symlink(target_path.c_str(), link_path.c_str()) : link(target_path.c_str(), link_path.c_str());
    return result == 0 ? 0 : fail(argv, argv[first + 1].c_str());
}

int run_script(const args& argv)
{
    std::string script;
    if (argv.size() < 2 || !map(argv[1], script)) {
        errno = EACCES;
        return fail(argv, "script");
    }
    std::fflush(nullptr);
    pid_t child = fork();
    if (child < 0) return fail(argv, "fork");
    if (child == 0) {
        std::vector<char*> child_argv;
        child_argv.push_back(const_cast<char*>("sh"));
        child_argv.push_back(script.data());
        for (size_t i = 2; i < argv.size(); ++i) child_argv.push_back(const_cast<char*>(argv[i].c_str()));
        child_argv.push_back(nullptr);
        if (chdir(sim_root()) == 0) execv("/bin/sh", child_argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0)
        if (errno != EINTR) return fail(argv, "wait");
    return status;
}

} // namespace

int sim_shell(const char* command)
{
    if (sim_root() == nullptr || command == nullptr) return -1;
    if (std::string(command) == "echo 3 > /proc/sys/vm/drop_caches") return 0;
    // One plain command per call: no lists, pipes, redirections or expansions.
    if (std::strpbrk(command, ";|&<>`$()\\\"'*?") != nullptr) {
        std::fprintf(stderr, "sim: refused shell command: %s\n", command);
        return exit_status(127);
    }
    args argv = split(command);
    if (argv.empty()) return 0;
    const std::string& name = argv[0];
    if (name == "busybox" && argv.size() > 1 && argv[1] == "flash_eraseall") return flash_eraseall(argv);
    if (name == "busybox" && argv.size() > 1 && argv[1] == "dd") return dd(argv);
    if (name == "touch") return touch(argv);
    if (name == "rm") return rm(argv);
    if (name == "ln") return ln(argv);
    if (name == "sh") return run_script(argv);
    if (name == "sync" && argv.size() == 1) return sim_sync() == 0 ? 0 : exit_status(1);
    if (name == "killall" && argv.size() >= 2) return exit_status(1); // no such process on the simulated device
    std::fprintf(stderr, "sim: refused shell command: %s\n", command);
    return exit_status(127);
}
