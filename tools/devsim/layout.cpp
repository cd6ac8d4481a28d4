#include "layout.h"

#include <cstdio>

namespace devsim {

namespace {

constexpr size_t kMaxLineLength = 4096;
constexpr size_t kMaxPartitions = 32;
constexpr size_t kMaxNameLength = 31;
constexpr size_t kMaxMountLength = 64;
constexpr uint64_t kMaxWriteSize = 64 * 1024;
constexpr uint64_t kMaxPartitionSize = 256ull * 1024 * 1024;
constexpr uint64_t kMaxTotalSize = 1024ull * 1024 * 1024;
constexpr uint64_t kMaxOobSize = 4096;
const char* const kReservedFolders[] = {"proc", "dev", "sys", "sim"};

bool is_name_character(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.' ||
           c == '-';
}

bool is_name(std::string_view text, size_t max_length)
{
    if (text.empty() || text.size() > max_length) return false;
    for (char c : text)
        if (!is_name_character(c)) return false;
    return true;
}

// Decimal or 0x-hexadecimal, with an optional K or M; false above 32 bits.
bool parse_number(std::string_view word, uint64_t& value)
{
    uint64_t scale = 1;
    if (!word.empty() && (word.back() == 'K' || word.back() == 'k')) scale = 1024;
    if (!word.empty() && (word.back() == 'M' || word.back() == 'm')) scale = 1024 * 1024;
    if (scale != 1) word.remove_suffix(1);
    unsigned base = 10;
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        base = 16;
        word.remove_prefix(2);
    }
    if (word.empty()) return false;
    value = 0;
    for (char c : word) {
        unsigned digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
        value = value * base + digit;
        if (value > UINT32_MAX) return false;
    }
    value *= scale;
    return value <= UINT32_MAX;
}

bool is_power_of_two(uint64_t value)
{
    return value != 0 && (value & (value - 1)) == 0;
}

// An absolute device folder of name components, outside the folders the
// simulated device keeps for itself.
bool is_mount_path(std::string_view path)
{
    if (path.size() < 2 || path.size() > kMaxMountLength || path[0] != '/') return false;
    std::string_view rest = path.substr(1);
    std::string_view first = rest.substr(0, rest.find('/'));
    for (const char* reserved : kReservedFolders)
        if (first == reserved) return false;
    while (true) {
        size_t slash = rest.find('/');
        std::string_view component = rest.substr(0, slash);
        if (!is_name(component, kMaxMountLength) || component == "." || component == "..") return false;
        if (slash == std::string_view::npos) return true;
        rest = rest.substr(slash + 1);
    }
}

bool mounts_overlap(const std::string& a, const std::string& b)
{
    auto inside = [](const std::string& inner, const std::string& outer) {
        return inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 && inner[outer.size()] == '/';
    };
    return a == b || inside(a, b) || inside(b, a);
}

std::vector<std::string_view> split_words(std::string_view line)
{
    std::vector<std::string_view> words;
    size_t at = 0;
    while (at < line.size()) {
        size_t start = line.find_first_not_of(" \t", at);
        if (start == std::string_view::npos) break;
        size_t end = line.find_first_of(" \t", start);
        if (end == std::string_view::npos) end = line.size();
        words.push_back(line.substr(start, end - start));
        at = end;
    }
    return words;
}

// One partition line; an empty result on success, else what is wrong.
std::string parse_partition(const std::vector<std::string_view>& words, layout_partition& part)
{
    if (words.size() < 4) return "expected NAME SIZE ERASESIZE WRITESIZE";
    if (!is_name(words[0], kMaxNameLength)) return "partition name must be 1 to 31 of A-Z a-z 0-9 _ . -";
    part.name = words[0];
    uint64_t size = 0;
    uint64_t erasesize = 0;
    uint64_t writesize = 0;
    if (!parse_number(words[1], size) || !parse_number(words[2], erasesize) || !parse_number(words[3], writesize))
        return "SIZE, ERASESIZE and WRITESIZE must be numbers below 4G";
    if (!is_power_of_two(writesize) || writesize > kMaxWriteSize) return "WRITESIZE must be a power of two up to 64K";
    if (erasesize == 0 || erasesize % writesize != 0) return "ERASESIZE must be a multiple of WRITESIZE";
    if (size == 0 || size % erasesize != 0) return "SIZE must be a multiple of ERASESIZE";
    if (size > kMaxPartitionSize) return "SIZE must be at most 256M";
    part.size = static_cast<uint32_t>(size);
    part.erasesize = static_cast<uint32_t>(erasesize);
    part.writesize = static_cast<uint32_t>(writesize);
    bool has_oob = false;
    for (size_t i = 4; i < words.size(); ++i) {
        size_t equals = words[i].find('=');
        if (equals == std::string_view::npos || equals + 1 == words[i].size())
            return "expected KEY=VALUE after WRITESIZE";
        std::string_view key = words[i].substr(0, equals);
        std::string_view value = words[i].substr(equals + 1);
        std::string* text = key == "image"    ? &part.image
                            : key == "mount"  ? &part.mount
                            : key == "folder" ? &part.folder
                                              : nullptr;
        if (key == "oob") {
            uint64_t oob = 0;
            if (has_oob || !parse_number(value, oob) || oob > kMaxOobSize)
                return "oob must be given once, at most 4096";
            part.oobsize = static_cast<uint32_t>(oob);
            has_oob = true;
        } else if (text == nullptr) {
            return "unknown key \"" + std::string(key) + "\" (oob, image, mount, folder)";
        } else if (!text->empty()) {
            return std::string(key) + " given twice";
        } else {
            *text = value;
        }
    }
    if (!part.image.empty() && !part.mount.empty()) return "image= and mount= exclude each other";
    if (!part.folder.empty() && part.mount.empty()) return "folder= needs mount=";
    if (!part.mount.empty() && !is_mount_path(part.mount))
        return "mount= must be an absolute folder of name components, not under /proc, /dev, /sys or /sim";
    return "";
}

// A rule between the new partition and those before it; empty when kept.
std::string check_against(const layout& before, const layout_partition& part, uint64_t total)
{
    if (before.size() == kMaxPartitions) return "more than 32 partitions";
    if (total + part.size > kMaxTotalSize) return "all partitions together exceed 1G";
    for (const layout_partition& other : before) {
        if (other.name == part.name) return "partition \"" + part.name + "\" given twice";
        if (!part.mount.empty() && !other.mount.empty() && mounts_overlap(part.mount, other.mount))
            return "mount " + part.mount + " overlaps the mount " + other.mount + " of \"" + other.name + "\"";
    }
    return "";
}

bool is_plain_text(std::string_view line)
{
    for (char c : line)
        if (c != '\t' && (c < ' ' || c > '~')) return false;
    return true;
}

} // namespace

bool parse_layout(std::string_view text, layout& out, std::string& error)
{
    layout result;
    uint64_t total = 0;
    size_t number = 0;
    while (!text.empty()) {
        ++number;
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::string problem;
        if (line.size() > kMaxLineLength)
            problem = "line longer than 4096 characters";
        else if (!is_plain_text(line))
            problem = "not plain text";
        std::vector<std::string_view> words = problem.empty() ? split_words(line) : std::vector<std::string_view>();
        if (problem.empty() && (words.empty() || words[0][0] == '#')) continue;
        layout_partition part;
        if (problem.empty()) problem = parse_partition(words, part);
        if (problem.empty()) problem = check_against(result, part, total);
        if (!problem.empty()) {
            error = "line " + std::to_string(number) + ": " + problem;
            return false;
        }
        total += part.size;
        result.push_back(std::move(part));
    }
    if (result.empty()) {
        error = "no partitions";
        return false;
    }
    out = std::move(result);
    return true;
}

std::string format_layout(const layout& partitions)
{
    std::string text = "# NAME SIZE ERASESIZE WRITESIZE [oob=N] [image=FILE] [mount=PATH [folder=DIR]]\n";
    for (const layout_partition& part : partitions) {
        char numbers[96];
        std::snprintf(numbers, sizeof numbers, " 0x%x 0x%x %u oob=%u", part.size, part.erasesize, part.writesize,
                      part.oobsize);
        text += part.name + numbers;
        if (!part.image.empty()) text += " image=" + part.image;
        if (!part.mount.empty()) text += " mount=" + part.mount;
        if (!part.folder.empty()) text += " folder=" + part.folder;
        text += '\n';
    }
    return text;
}

} // namespace devsim
