#include "device_state.h"

#include "files.h"
#include "le_fields.h"
#include "paths.h"
#include "status_values.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace devsim {

namespace fs = std::filesystem;

namespace {

const char kMessageMark[] = " >>> ";

uint32_t little_endian(const std::string& bytes, size_t at)
{
    return kvr_le32(reinterpret_cast<const uint8_t*>(bytes.data()) + at);
}

bool all_erased(const std::string& bytes, size_t from)
{
    return std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(std::min(from, bytes.size())), bytes.end(),
                       [](char c) { return c == '\xFF'; });
}

std::string hex(const std::string& bytes)
{
    std::string text;
    for (char c : bytes) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02x ", static_cast<unsigned char>(c));
        text += pair;
    }
    if (!text.empty()) text.pop_back();
    return text;
}

// A count the simulated device keeps in a file of its own; 0 when absent.
long counter(const device& dev, const std::string& device_path)
{
    std::optional<std::string> text = read_file(dev.real(device_path));
    return text ? std::strtol(text->c_str(), nullptr, 10) : 0;
}

} // namespace

device_state read_device_state(const device& dev)
{
    device_state state;
    state.stage = read_file(dev.real(KVR_STAGE_PATH));
    state.status = read_file(dev.real(KVR_UPDATE_STATUS_PATH));
    state.restarts = counter(dev, "/sim/restarts");
    state.power_cuts = counter(dev, "/sim/power_cuts");
    state.flash_ops = counter(dev, "/sim/flash_ops");
    state.file_ops = counter(dev, "/sim/file_ops");
    std::error_code absent;
    uintmax_t size = fs::file_size(dev.real(KVR_FATAL_LOG_PATH), absent);
    state.fatal_log_size = absent ? 0 : size;
    int misc = dev.number_of("misc");
    if (misc >= 0) state.misc = read_file(dev.flash(misc));
    return state;
}

std::string describe_file(const std::optional<std::string>& content)
{
    return content ? "\"" + *content + "\"" : "absent";
}

bool status_is(const std::optional<std::string>& status, int value)
{
    return status && *status == std::to_string(value);
}

std::string describe_status(const std::optional<std::string>& status)
{
    if (!status) return "absent";
    const char* meaning = "unknown";
    char* end = nullptr;
    long value = std::strtol(status->c_str(), &end, 10);
    if (!status->empty() && *end == '\0') {
        switch (value) {
        case KVR_STATUS_SUCCESS: meaning = "update finished successfully"; break;
        case KVR_STATUS_FAILED: meaning = "update failed"; break;
        case KVR_STATUS_REGISTERED: meaning = "package registered"; break;
        case KVR_STATUS_BAD_PACKAGE: meaning = "package header check failed"; break;
        case KVR_STATUS_UNDER_WAY: meaning = "update under way"; break;
        default: break;
        }
    }
    return *status + " (" + meaning + ")";
}

std::string describe_flag_record(const std::string& bytes, bool with_rest)
{
    std::string record = bytes.substr(0, KVR_FOTA_FLAG_RECORD_SIZE);
    std::string text;
    if (record.size() == KVR_FOTA_FLAG_RECORD_SIZE && little_endian(record, 0) == KVR_FOTA_FLAG_MAGIC) {
        text = "FOTA " + std::to_string(little_endian(record, 4));
        uint32_t reserved = little_endian(record, 8);
        if (reserved != 0) text += " (reserved word " + std::to_string(reserved) + ")";
    } else if (all_erased(record, 0)) {
        text = "erased (0xFF)";
    } else {
        text = "not a FOTA record: " + hex(record);
    }
    if (!with_rest || bytes.size() <= KVR_FOTA_FLAG_RECORD_SIZE || all_erased(record, 0)) return text;
    if (all_erased(bytes, KVR_FOTA_FLAG_RECORD_SIZE)) return text + ", erased (0xFF) after it";
    size_t other = bytes.find_first_not_of('\xFF', KVR_FOTA_FLAG_RECORD_SIZE);
    return text + ", other bytes from offset " + std::to_string(other);
}

std::vector<std::string> fatal_messages_since(const device& dev, uintmax_t size)
{
    std::optional<std::string> log = read_file(dev.real(KVR_FATAL_LOG_PATH));
    std::vector<std::string> messages;
    if (!log) return messages;
    std::string text = log->size() >= size ? log->substr(size) : *log;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        size_t mark = line.find(kMessageMark);
        messages.push_back(mark == std::string::npos ? line : line.substr(mark + sizeof kMessageMark - 1));
        at = end + 1;
    }
    return messages;
}

std::vector<std::string> files_under(const device& dev, const std::string& device_folder)
{
    std::vector<std::string> files;
    fs::path folder = dev.real(device_folder);
    std::error_code failed;
    for (fs::recursive_directory_iterator it(folder, failed), end; !failed && it != end; it.increment(failed)) {
        std::string device_path = "/" + it->path().lexically_relative(dev.root).generic_string();
        if (it->is_symlink())
            files.push_back(device_path + " -> " + fs::read_symlink(it->path()).string());
        else if (it->is_regular_file())
            files.push_back(device_path + " (" + std::to_string(it->file_size()) + " bytes)");
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace devsim
