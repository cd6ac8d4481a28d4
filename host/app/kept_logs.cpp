#include "app/kept_logs.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "platform/files.h"
#include "platform/text.h"

namespace app {
namespace {

constexpr int kRunsPerStamp = 1000;

bool CreateFolderPath(const std::u16string& path)
{
    for (size_t at = path.find(platform::kPathSeparator, 1); at != std::u16string::npos; at = path.find(platform::kPathSeparator, at + 1)) {
        platform::CreateFolder(path.substr(0, at));
    }
    return platform::CreateFolder(path);
}

// A run folder's name: the stamp, '-', three digits.
bool IsRunFolderName(const std::u16string& name)
{
    if (name.size() != 19 || name[8] != u'-' || name[15] != u'-') return false;
    for (size_t i = 0; i < name.size(); ++i) {
        if (i == 8 || i == 15) continue;
        if (name[i] < u'0' || name[i] > u'9') return false;
    }
    return true;
}

}  // namespace

std::u16string KeptRunStamp(const platform::LocalTime& time)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d-%02d%02d%02d", time.year % 10000, time.month % 100, time.day % 100, time.hour % 100,
                  time.minute % 100, time.second % 100);
    return platform::Utf8ToUtf16(text);
}

std::u16string NewKeptRunFolder(const std::u16string& root, const std::u16string& stamp)
{
    if (root.empty() || !CreateFolderPath(root)) return {};
    std::vector<std::u16string> runs;
    for (std::u16string& name : platform::SubfolderNames(root)) {
        if (IsRunFolderName(name)) runs.push_back(std::move(name));
    }
    std::optional<std::u16string> chosen;
    for (int number = 0; number < kRunsPerStamp && !chosen; ++number) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "-%03d", number);
        const std::u16string name = stamp + platform::Utf8ToUtf16(suffix);
        if (!IsRunFolderName(name)) return {};
        if (std::find(runs.begin(), runs.end(), name) == runs.end()) chosen = name;
    }
    if (!chosen) return {};
    const std::u16string folder = root + platform::kPathSeparator + *chosen;
    if (!platform::CreateFolder(folder)) return {};
    runs.push_back(*chosen);
    std::sort(runs.begin(), runs.end());
    for (size_t i = 0; i + kKeptRuns < runs.size(); ++i) {
        if (runs[i] != *chosen) platform::DeleteTree(root + platform::kPathSeparator + runs[i]);
    }
    return folder;
}

bool FillKeptRunFolder(const std::u16string& folder, const std::vector<KeptFile>& files, const std::string& diagnostics)
{
    bool written = true;
    for (const KeptFile& file : files) {
        const std::optional<std::vector<uint8_t>> bytes = platform::ReadWholeFile(file.source);
        if (!bytes) continue;
        written = platform::WriteWholeFile(folder + platform::kPathSeparator + file.name, bytes->data(), bytes->size()) && written;
    }
    return platform::WriteWholeFile(folder + platform::kPathSeparator + u"diagnostics.txt", diagnostics.data(), diagnostics.size()) && written;
}

}  // namespace app
