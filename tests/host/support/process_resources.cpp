#include "process_resources.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>

namespace testing_support {
namespace {

long ResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + std::strlen("VmRSS:"));
    }
    return 0;
}

int Threads()
{
    DIR* folder = opendir("/proc/self/task");
    if (folder == nullptr) return 0;
    int count = 0;
    while (const dirent* entry = readdir(folder)) {
        if (entry->d_name[0] != '.') ++count;
    }
    closedir(folder);
    return count;
}

// Counts the descriptors and the sockets among them; the listing's own
// descriptor is left out.
void Descriptors(ProcessResources& resources)
{
    DIR* folder = opendir("/proc/self/fd");
    if (folder == nullptr) return;
    const int own = dirfd(folder);
    while (const dirent* entry = readdir(folder)) {
        if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == own) continue;
        ++resources.descriptors;
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        char target[64] = {};
        const ssize_t size = readlink(link.c_str(), target, sizeof target - 1);
        if (size > 0 && std::strncmp(target, "socket:", 7) == 0) ++resources.sockets;
    }
    closedir(folder);
}

}  // namespace

ProcessResources SampleProcessResources()
{
    ProcessResources resources;
    resources.residentKiB = ResidentKiB();
    resources.threads = Threads();
    Descriptors(resources);
    return resources;
}

std::string Describe(const ProcessResources& resources)
{
    char text[128];
    std::snprintf(text, sizeof text, "rss %ld KiB, %d threads, %d descriptors (%d sockets)", resources.residentKiB, resources.threads,
                  resources.descriptors, resources.sockets);
    return text;
}

}  // namespace testing_support
