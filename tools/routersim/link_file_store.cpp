#include "routersim/link_file_store.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "link/link_block.h"
#include "routersim/log.h"

namespace routersim {

std::string ReceivedFileName(int number, uint8_t type)
{
    const char* kind = "transfer";
    if (type == devlink::kModemImage) kind = "modem-image";
    if (type == devlink::kModemChecksum) kind = "modem-checksum";
    if (type == devlink::kLinuxImage) kind = "linux-image";
    return std::to_string(number) + "-" + kind + ".bin";
}

bool SaveReceivedFile(const std::string& folder, int number, const ReceivedFile& file)
{
    const std::string path = folder + "/" + ReceivedFileName(number, file.type);
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!out) {
        LogLine("cannot write " + path + ": " + std::strerror(errno));
        return false;
    }
    if (std::fwrite(file.bytes.data(), 1, file.bytes.size(), out.get()) != file.bytes.size() || std::fflush(out.get()) != 0) {
        LogLine("cannot write all of " + path + ": " + std::strerror(errno));
        return false;
    }
    return true;
}

}  // namespace routersim
