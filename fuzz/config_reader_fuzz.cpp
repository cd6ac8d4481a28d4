// Bytes as download.xml may hold them: the reader must finish with 0 or 1,
// keep its record consistent (every list entry it kept was counted), and
// the path rewrite must leave a file that reads again.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "payload/config_rewrite.h"
#include "payload/download_service_config.h"
#include "platform/files.h"
#include "platform/text.h"

namespace {

std::u16string Folder()
{
    static const std::u16string folder = [] {
        const std::u16string path = platform::TempFolder() + u"config-fuzz-" + platform::Utf8ToUtf16(std::to_string(getpid()));
        platform::CreateFolder(path);
        // A listed file that exists, so that reads can get past the list.
        platform::WriteWholeFile(path + u"/a.bin", "ab", 2);
        return path;
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::u16string folder = Folder();
    const std::u16string file = folder + u"/download.xml";
    platform::WriteWholeFile(file, data, size);
    for (int pass = 0; pass < 2; ++pass) {
        payload::DownloadServiceConfig config;
        const int result = config.Load(folder);
        if (result != 0 && result != 1) std::abort();
        uint64_t total = 0;
        for (const payload::DownloadFileEntry& entry : config.m_vecDownloadFiles) {
            if (entry.path.size() >= payload::DownloadFileEntry::kPathCapacity || entry.size <= 1) std::abort();
            total += entry.size;
        }
        if (static_cast<uint32_t>(total) != config.m_nTotalSize) std::abort();
        if (pass == 0) payload::RewriteConfigFile(file, folder, folder);
    }
    return 0;
}
