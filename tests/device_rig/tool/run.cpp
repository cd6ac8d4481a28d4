// Runs a program as the first process of a new PID namespace, as the device's
// start-up would run the agent, and reports how it ended: by its own restart
// call (inside a PID namespace reboot(2) ends the namespace's first process
// with SIGHUP instead of restarting the machine), by exiting, or killed by
// the rig. The rig traces the program's own syscalls (not its children's),
// counts the flash-related ones and can SIGKILL it at the entry of the Nth
// of one kind, so that the syscall never runs. Every syscall stops the
// program only for the kind "sys" and for a run that keeps all counts; for
// the other kinds a seccomp filter stops it at that kind's syscalls alone
// (its children, which inherit the filter, are traced and let go on), which
// keeps an emulated run fast.
//
// Kinds: sys (any syscall), erase (MEMERASE), write (a write to an MTD
// device), backup (fsync of the backup block file), shell (a new process:
// the shell commands and scripts), reboot. With --counts FILE the counts go
// on from the numbers in FILE and are written back, so that N counts over
// every start of one update.
#include "rig_tool.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cstddef>
#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <mtd/mtd-user.h>
#include <sched.h>
#include <sys/prctl.h>
#include <string>
#include <sys/ptrace.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

enum Kind { kSys, kErase, kWrite, kBackup, kShell, kReboot, kKinds };
constexpr std::array<const char*, kKinds> kKindNames = {"sys", "erase", "write", "backup", "shell", "reboot"};

// Exit statuses of "rig_tool run".
constexpr int kExited = 0;
constexpr int kRestarted = 10;
constexpr int kKilled = 11;
constexpr int kOtherEnd = 12;
constexpr int kRigFailed = 13;

struct Counts {
    std::array<unsigned long, kKinds> value = {};
};

bool read_counts(const char* path, Counts& counts)
{
    FILE* file = std::fopen(path, "r");
    if (file == nullptr) return errno == ENOENT;
    for (unsigned long& value : counts.value)
        if (std::fscanf(file, "%lu", &value) != 1) value = 0;
    std::fclose(file);
    return true;
}

void write_counts(const char* path, const Counts& counts)
{
    FILE* file = std::fopen(path, "w");
    if (file == nullptr) return;
    for (unsigned long value : counts.value) std::fprintf(file, "%lu ", value);
    std::fputc('\n', file);
    std::fclose(file);
}

std::string fd_target(pid_t pid, unsigned long long fd)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/%d/fd/%llu", static_cast<int>(pid), fd);
    char target[256];
    ssize_t n = readlink(link, target, sizeof target - 1);
    if (n < 0) return {};
    return std::string(target, static_cast<size_t>(n));
}

bool is_mtd(const std::string& path)
{
    return path.rfind("/dev/mtd", 0) == 0;
}

bool is_backup(const std::string& path)
{
    const std::string name = "/block_backup";
    return path.size() >= name.size() && path.compare(path.size() - name.size(), name.size(), name) == 0;
}

// The syscalls that may count as the kind.
std::vector<long> syscalls_of(int kind)
{
    switch (kind) {
    case kErase:
        return {SYS_ioctl};
    case kWrite:
        return {SYS_write, SYS_pwrite64, SYS_writev,
#ifdef SYS_pwritev
                SYS_pwritev
#endif
        };
    case kBackup:
        return {SYS_fsync, SYS_fdatasync};
    case kShell:
        return {SYS_clone,
#ifdef SYS_clone3
                SYS_clone3,
#endif
#ifdef SYS_fork
                SYS_fork,
#endif
#ifdef SYS_vfork
                SYS_vfork,
#endif
        };
    case kReboot:
        return {SYS_reboot};
    default:
        return {};
    }
}

bool is_of(int kind, long nr)
{
    const std::vector<long> syscalls = syscalls_of(kind);
    return std::find(syscalls.begin(), syscalls.end(), nr) != syscalls.end();
}

// The kinds that this syscall entry counts as, besides sys.
void classify(pid_t pid, long nr, const uint64_t* args, std::array<bool, kKinds>& hit)
{
    hit.fill(false);
    hit[kSys] = true;
    if (is_of(kErase, nr))
        hit[kErase] = args[1] == MEMERASE || args[1] == MEMERASE64;
    else if (is_of(kWrite, nr))
        hit[kWrite] = is_mtd(fd_target(pid, args[0]));
    else if (is_of(kBackup, nr))
        hit[kBackup] = is_backup(fd_target(pid, args[0]));
    else
        hit[kShell] = is_of(kShell, nr), hit[kReboot] = is_of(kReboot, nr);
}

// Makes the calling process stop for its tracer at the given syscalls.
bool install_filter(const std::vector<long>& syscalls)
{
    std::vector<sock_filter> program;
    program.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)));
    for (long nr : syscalls) {
        program.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(nr), 0, 1));
        program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRACE));
    }
    program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    sock_fprog filter = {static_cast<unsigned short>(program.size()), program.data()};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
}

struct KillPoint {
    int kind = -1;
    unsigned long at = 0;
};

bool parse_kill(const char* text, KillPoint& point)
{
    const char* colon = std::strchr(text, ':');
    if (colon == nullptr) return false;
    std::string kind(text, colon);
    for (int k = 0; k < kKinds; ++k)
        if (kind == kKindNames[k]) point.kind = k;
    char* end = nullptr;
    point.at = std::strtoul(colon + 1, &end, 10);
    return point.kind >= 0 && point.at > 0 && *end == '\0';
}

struct ChildStart {
    char** argv;
    int start_fd;
    std::vector<long> filtered; // empty: no filter
};

int child_main(void* arg)
{
    const ChildStart* start = static_cast<const ChildStart*>(arg);
    // Waits until the rig has seized it, so that tracing starts at the exec.
    char go = 0;
    if (read(start->start_fd, &go, 1) != 1) _exit(127);
    close(start->start_fd);
    if (!start->filtered.empty() && !install_filter(start->filtered)) {
        std::fprintf(stderr, "rig_tool run: seccomp filter: %s\n", std::strerror(errno));
        _exit(127);
    }
    char** argv = start->argv;
    execv(argv[0], argv);
    std::fprintf(stderr, "rig_tool run: exec %s: %s\n", argv[0], std::strerror(errno));
    _exit(127);
}

void print_counts(const char* label, const Counts& counts)
{
    std::printf("rig-run: %s", label);
    for (int k = 0; k < kKinds; ++k) std::printf(" %s=%lu", kKindNames[k], counts.value[k]);
    std::printf("\n");
}

} // namespace

int rig_run(int argc, char** argv)
{
    const char* counts_path = nullptr;
    KillPoint kill_point;
    int i = 0;
    for (; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            ++i;
            break;
        }
        if (std::strcmp(argv[i], "--counts") == 0 && i + 1 < argc) {
            counts_path = argv[++i];
        } else if (std::strcmp(argv[i], "--kill") == 0 && i + 1 < argc) {
            if (!parse_kill(argv[++i], kill_point)) {
                std::fprintf(stderr, "rig_tool run: bad kill point %s\n", argv[i]);
                return 2;
            }
        } else {
            std::fprintf(stderr, "rig_tool run: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    if (i >= argc) {
        std::fprintf(stderr, "usage: rig_tool run [--counts FILE] [--kill KIND:N] -- PROGRAM [ARG...]\n");
        return 2;
    }
    Counts counts;
    if (counts_path != nullptr && !read_counts(counts_path, counts)) {
        std::fprintf(stderr, "rig_tool run: cannot read %s\n", counts_path);
        return kRigFailed;
    }

    // Every syscall stops the program for "sys" and for a run that keeps all
    // counts; a kill point of another kind filters.
    bool counting = kill_point.kind >= 0 || counts_path != nullptr;
    bool filtered = kill_point.kind > kSys;
    int start[2];
    if (pipe(start) != 0) return kRigFailed;
    ChildStart child = {argv + i, start[0], filtered ? syscalls_of(kill_point.kind) : std::vector<long>{}};

    constexpr size_t kStackSize = 256 * 1024;
    std::vector<char> stack(kStackSize);
    pid_t pid = clone(child_main, stack.data() + stack.size(), CLONE_NEWPID | SIGCHLD, &child);
    if (pid < 0) {
        std::fprintf(stderr, "rig_tool run: clone: %s\n", std::strerror(errno));
        return kRigFailed;
    }
    close(start[0]);
    long options = PTRACE_O_TRACEEXEC | PTRACE_O_EXITKILL;
    if (filtered)
        options |= PTRACE_O_TRACESECCOMP | PTRACE_O_TRACECLONE | PTRACE_O_TRACEFORK | PTRACE_O_TRACEVFORK;
    else
        options |= PTRACE_O_TRACESYSGOOD;
    if (ptrace(PTRACE_SEIZE, pid, nullptr, reinterpret_cast<void*>(options)) != 0) {
        std::fprintf(stderr, "rig_tool run: ptrace seize: %s\n", std::strerror(errno));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return kRigFailed;
    }
    if (write(start[1], "g", 1) != 1) return kRigFailed;
    close(start[1]);

    // Counts one syscall entry of the program; true when it is the kill point.
    auto count = [&](long nr, const uint64_t* args) {
        std::array<bool, kKinds> hit;
        classify(pid, nr, args, hit);
        for (int k = 0; k < kKinds; ++k)
            if (hit[k]) ++counts.value[k];
        return kill_point.kind >= 0 && hit[kill_point.kind] && counts.value[kill_point.kind] == kill_point.at;
    };

    bool traced = false;  // syscalls count from the exec on
    bool killed = false;
    int status = 0;
    for (;;) {
        int got_status = 0;
        pid_t who = waitpid(-1, &got_status, __WALL);
        if (who < 0) {
            std::fprintf(stderr, "rig_tool run: waitpid: %s\n", std::strerror(errno));
            return kRigFailed;
        }
        int event = got_status >> 16;
        if (who != pid) {
            // A child of the program, traced only because it inherited the
            // filter: let it go on, with its signals.
            if (WIFSTOPPED(got_status)) {
                int signal = event == 0 && WSTOPSIG(got_status) != SIGTRAP ? WSTOPSIG(got_status) : 0;
                ptrace(PTRACE_CONT, who, nullptr, reinterpret_cast<void*>(static_cast<long>(signal)));
            }
            continue;
        }
        status = got_status;
        if (WIFEXITED(status) || WIFSIGNALED(status)) break;
        if (!WIFSTOPPED(status)) continue;
        int signal = 0;
        int stop = WSTOPSIG(status);
        if (event == PTRACE_EVENT_EXEC) {
            traced = counting;
        } else if ((stop == (SIGTRAP | 0x80) || event == PTRACE_EVENT_SECCOMP) && traced) {
            __ptrace_syscall_info info = {};
            long got = ptrace(PTRACE_GET_SYSCALL_INFO, pid, reinterpret_cast<void*>(sizeof info), &info);
            bool entry = got > 0 && info.op == PTRACE_SYSCALL_INFO_ENTRY;
            bool seccomp = got > 0 && info.op == PTRACE_SYSCALL_INFO_SECCOMP;
            long nr = static_cast<long>(seccomp ? info.seccomp.nr : info.entry.nr);
            const uint64_t* args = seccomp ? info.seccomp.args : info.entry.args;
            if ((entry || seccomp) && !killed && count(nr, args)) {
                std::printf("rig-run: killed at %s:%lu (syscall %ld)\n", kKindNames[kill_point.kind], kill_point.at, nr);
                std::fflush(stdout);
                kill(pid, SIGKILL);
                killed = true;
                continue;
            }
        } else if (event != 0) {
            // Other ptrace events: nothing to pass on.
        } else if (stop != SIGTRAP || !traced) {
            signal = stop;
        }
        __ptrace_request resume = traced && !filtered ? PTRACE_SYSCALL : PTRACE_CONT;
        ptrace(resume, pid, nullptr, reinterpret_cast<void*>(static_cast<long>(signal)));
    }
    if (counts_path != nullptr) write_counts(counts_path, counts);
    if (counting) print_counts("counts", counts);
    if (killed) return kKilled;
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGHUP) {
        std::printf("rig-run: restart\n");
        return kRestarted;
    }
    if (WIFEXITED(status)) {
        std::printf("rig-run: exit %d\n", WEXITSTATUS(status));
        return WEXITSTATUS(status) == 0 ? kExited : kOtherEnd;
    }
    std::printf("rig-run: ended by signal %d\n", WTERMSIG(status));
    return kOtherEnd;
}
