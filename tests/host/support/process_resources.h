// What this process holds at one moment, read from /proc/self: resident
// memory, threads and open descriptors (sockets included). Linux only.
#pragma once

#include <string>

namespace testing_support {

struct ProcessResources {
    long residentKiB = 0;  // VmRSS
    int threads = 0;       // entries of /proc/self/task
    int descriptors = 0;   // entries of /proc/self/fd, without the one that lists them
    int sockets = 0;       // of those, the ones that are sockets
};

// Under a sanitizer the process also holds the sanitizer's own: ThreadSanitizer
// starts a thread of its own along the way, and the resident size includes
// the sanitizer's records, which grow with every allocation it has seen.
#if defined(__SANITIZE_THREAD__)
constexpr int kSanitizerThreads = 1;
#else
constexpr int kSanitizerThreads = 0;
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kResidentSizeMeaningful = false;
#else
constexpr bool kResidentSizeMeaningful = true;
#endif

// Zero fields when /proc cannot be read.
ProcessResources SampleProcessResources();

// "rss 12345 KiB, 7 threads, 12 descriptors (4 sockets)".
std::string Describe(const ProcessResources& resources);

}  // namespace testing_support
