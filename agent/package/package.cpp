#include "package.h"

#include "le_fields.h"
#include "log.h"
#include "os.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kCopyPiece = 100;
constexpr size_t kSplitPathSize = 128;

enum header_result { HEADER_OK, HEADER_SHORT, HEADER_BAD_MAGIC };
enum copy_result { COPY_OK, COPY_READ_FAILED, COPY_WRITE_FAILED };

// The system's text for a failed read; a read cut short by the end of the
// file has no error number of its own.
const char* read_error_text(FILE* file)
{
    return std::ferror(file) ? std::strerror(errno) : "end of file";
}

header_result read_header(FILE* package, package_header* header)
{
    unsigned char bytes[KVR_PACKAGE_HEADER_SIZE];
    if (std::fread(bytes, 1, sizeof bytes, package) != sizeof bytes) return HEADER_SHORT;
    header->magic = kvr_le32(bytes);
    header->count = static_cast<int32_t>(kvr_le32(bytes + 4));
    std::memcpy(header->reserved, bytes + 8, sizeof header->reserved);
    return header->magic == KVR_PACKAGE_MAGIC ? HEADER_OK : HEADER_BAD_MAGIC;
}

void decode_entry(const unsigned char* bytes, package_entry* entry)
{
    std::memcpy(entry->name, bytes, KVR_PACKAGE_NAME_SIZE);
    entry->length = kvr_le32(bytes + KVR_PACKAGE_NAME_SIZE);
    entry->offset = kvr_le32(bytes + KVR_PACKAGE_NAME_SIZE + 4);
}

bool read_entry(FILE* package, package_entry* entry)
{
    unsigned char bytes[KVR_PACKAGE_ENTRY_SIZE];
    if (std::fread(bytes, 1, sizeof bytes, package) != sizeof bytes) return false;
    decode_entry(bytes, entry);
    return true;
}

// An entry's name is text of at most 31 characters; an unterminated one
// names nothing.
bool entry_name_valid(const package_entry& entry)
{
    return std::memchr(entry.name, '\0', KVR_PACKAGE_NAME_SIZE) != nullptr;
}

bool entry_named(const package_entry& entry, const char* name)
{
    return entry_name_valid(entry) && std::strcmp(entry.name, name) == 0;
}

// A member written into a folder must stay in it.
bool entry_name_is_file_name(const package_entry& entry)
{
    return entry_name_valid(entry) && entry.name[0] != '\0' && std::strchr(entry.name, '/') == nullptr &&
           std::strcmp(entry.name, ".") != 0 && std::strcmp(entry.name, "..") != 0;
}

copy_result copy_member(FILE* package, FILE* out, uint32_t length)
{
    unsigned char piece[kCopyPiece];
    for (uint32_t left = length; left > 0;) {
        size_t want = left < kCopyPiece ? left : kCopyPiece;
        if (std::fread(piece, 1, want, package) != want) return COPY_READ_FAILED;
        if (std::fwrite(piece, 1, want, out) != want) return COPY_WRITE_FAILED;
        left -= static_cast<uint32_t>(want);
    }
    return COPY_OK;
}

// Looks the name up from the current position (just after the header);
// 1-based position, 0 when absent, -1 when the table is cut short.
int find_entry(FILE* package, int32_t count, const char* name, package_entry* entry)
{
    for (int32_t position = 0; position < count; ++position) {
        if (!read_entry(package, entry)) return -1;
        if (entry_named(*entry, name)) return position + 1;
    }
    return 0;
}

} // namespace

int verify_package(const char* package_path)
{
    KVR_LOG("start, package path=%s\n", package_path);
    FILE* package = os_fopen(package_path, "rb+");
    if (package == nullptr) {
        KVR_LOG("open file error:%s\n", std::strerror(errno));
        KVR_LOG("error\n");
        return -1;
    }
    package_header header;
    header_result checked = read_header(package, &header);
    if (checked == HEADER_SHORT) KVR_LOG("read file block:%s\n", read_error_text(package));
    if (checked == HEADER_BAD_MAGIC) KVR_LOG("magic error\n");
    std::fclose(package);
    if (checked != HEADER_OK) {
        KVR_LOG("error\n");
        return -1;
    }
    KVR_LOG("end\n");
    return 0;
}

int get_infile_info(const char* package_path, const char* name, package_entry* entry_out)
{
    KVR_LOG("start, package path=%s, infile name=%s\n", package_path, name);
    FILE* package = name ? os_fopen(package_path, "rb+") : nullptr;
    if (package == nullptr) {
        const char* reason = name ? std::strerror(errno) : std::strerror(EINVAL);
        KVR_LOG("open file error:%s\n", reason);
        KVR_FATAL("Error: open file failed reason:%s\n", reason);
        KVR_LOG("error\n");
        return -1;
    }
    package_header header;
    header_result checked = read_header(package, &header);
    int position = -1;
    if (checked == HEADER_SHORT) {
        const char* reason = read_error_text(package);
        KVR_LOG("read file block:%s\n", reason);
        KVR_FATAL("Error: read package head failed reason:%s\n", reason);
    } else if (checked == HEADER_BAD_MAGIC) {
        KVR_LOG("magic error\n");
        KVR_FATAL("Error: magic verify failed.\n");
    } else {
        package_entry entry;
        position = find_entry(package, header.count, name, &entry);
        if (position < 0) {
            const char* reason = read_error_text(package);
            KVR_LOG("read file:%s\n", reason);
            KVR_FATAL("Error: read file failed reason:%s\n", reason);
        } else if (position > 0 && entry_out) {
            *entry_out = entry;
        }
    }
    std::fclose(package);
    if (position < 0) {
        KVR_LOG("error\n");
        return -1;
    }
    KVR_LOG("end\n");
    return position;
}

int package_split_file(const char* package_path, const char* name, const char* out_path)
{
    // The line break before ", output path" is kept as the device's software expects it.
    KVR_LOG("start, package path=%s, infile name=%s\n, output path=%s", package_path, name, out_path);
    FILE* package = name && out_path ? os_fopen(package_path, "rb+") : nullptr;
    if (package == nullptr) {
        KVR_LOG("open file error:%s\n", std::strerror(name && out_path ? errno : EINVAL));
        KVR_LOG("error\n");
        return -1;
    }
    FILE* out = nullptr;
    bool ok = false;
    package_header header;
    package_entry entry;
    header_result checked = read_header(package, &header);
    int position = checked == HEADER_OK ? find_entry(package, header.count, name, &entry) : -1;
    if (checked == HEADER_SHORT) {
        KVR_LOG("read file error:%s\n", read_error_text(package));
    } else if (checked == HEADER_BAD_MAGIC) {
        KVR_LOG("magic error:%s\n", std::strerror(EINVAL));
    } else if (position < 0) {
        KVR_LOG("read package file error:%s\n", read_error_text(package));
    } else if (position == 0) {
        KVR_LOG("not found the file\n");
    } else if (fseeko(package, static_cast<off_t>(entry.offset), SEEK_SET) != 0) {
        KVR_LOG("seek package file error:%s\n", std::strerror(errno));
    } else if ((out = os_fopen(out_path, "wb+")) == nullptr) {
        KVR_LOG("open split file error:%s\n", std::strerror(errno));
    } else {
        copy_result copied = copy_member(package, out, entry.length);
        if (copied == COPY_READ_FAILED) KVR_LOG("read %s file error:%s\n", name, read_error_text(package));
        if (copied == COPY_WRITE_FAILED) KVR_LOG("write package file error:%s\n", std::strerror(errno));
        ok = copied == COPY_OK;
    }
    if (out && std::fclose(out) != 0 && ok) {
        KVR_LOG("write package file error:%s\n", std::strerror(errno));
        ok = false;
    }
    std::fclose(package);
    if (!ok) {
        KVR_LOG("error\n");
        return -1;
    }
    KVR_LOG("end\n");
    return 0;
}

namespace {

// "<folder>/<name>" when it fits the 128-byte path buffer.
bool split_path(char* path, const char* folder, const char* name)
{
    int n = std::snprintf(path, kSplitPathSize, "%s/%s", folder, name);
    return n >= 0 && static_cast<size_t>(n) < kSplitPathSize;
}

// Reads the whole entry table of 0 to 32 entries in one read.
bool read_table(FILE* package, int32_t count, package_entry* table)
{
    unsigned char bytes[KVR_PACKAGE_SPLIT_MAX * KVR_PACKAGE_ENTRY_SIZE];
    size_t size = static_cast<size_t>(count) * KVR_PACKAGE_ENTRY_SIZE;
    if (std::fread(bytes, 1, size, package) != size) return false;
    for (int32_t i = 0; i < count; ++i) decode_entry(bytes + i * KVR_PACKAGE_ENTRY_SIZE, &table[i]);
    return true;
}

// Writes one member from the package's read position into the folder.
bool split_member(FILE* package, const char* target_dir, const package_entry& entry)
{
    char path[kSplitPathSize];
    char shown[KVR_PACKAGE_NAME_SIZE + 1] = {};
    std::memcpy(shown, entry.name, KVR_PACKAGE_NAME_SIZE);
    if (!entry_name_is_file_name(entry) || !split_path(path, target_dir, entry.name)) {
        KVR_LOG("open %s file error:%s\n", shown, std::strerror(entry_name_is_file_name(entry) ? ENAMETOOLONG : EINVAL));
        return false;
    }
    FILE* out = os_fopen(path, "wb+");
    if (out == nullptr) {
        KVR_LOG("open %s file error:%s\n", shown, std::strerror(errno));
        return false;
    }
    copy_result copied = copy_member(package, out, entry.length);
    if (copied == COPY_READ_FAILED) KVR_LOG("read %s file error:%s\n", shown, read_error_text(package));
    bool closed = std::fclose(out) == 0;
    if (copied == COPY_WRITE_FAILED || (copied == COPY_OK && !closed)) KVR_LOG("write package file error\n");
    return copied == COPY_OK && closed;
}

} // namespace

int package_split_all(const char* package_path, const char* target_dir)
{
    KVR_LOG("start, package path=%s, target dir=%s\n", package_path, target_dir);
    FILE* package = target_dir ? os_fopen(package_path, "rb+") : nullptr;
    if (package == nullptr) {
        KVR_LOG("open package error:%s\n", std::strerror(target_dir ? errno : EINVAL));
        KVR_LOG("error\n");
        return -1;
    }
    package_header header;
    package_entry table[KVR_PACKAGE_SPLIT_MAX];
    char index_path[kSplitPathSize];
    FILE* index = nullptr;
    bool ok = false;
    header_result checked = read_header(package, &header);
    if (checked == HEADER_SHORT) {
        KVR_LOG("read package file error:%s\n", read_error_text(package));
    } else if (checked == HEADER_BAD_MAGIC) {
        KVR_LOG("magic error:%s\n", std::strerror(EINVAL));
    } else if (header.count < 0 || header.count > KVR_PACKAGE_SPLIT_MAX) {
        KVR_LOG("read package file error:%s\n", std::strerror(EINVAL));
    } else if (!read_table(package, header.count, table)) {
        KVR_LOG("read package file error:%s\n", read_error_text(package));
    } else if (!split_path(index_path, target_dir, "split_file_info")) {
        KVR_LOG("open split info file:%s\n", std::strerror(ENAMETOOLONG));
    } else if ((index = os_fopen(index_path, "w+")) == nullptr) {
        KVR_LOG("open split info file:%s\n", std::strerror(errno));
    } else {
        ok = true;
        for (int32_t i = 0; ok && i < header.count; ++i) {
            ok = split_member(package, target_dir, table[i]);
            if (ok && std::fprintf(index, "%s %d", table[i].name, static_cast<int>(table[i].length)) < 0) {
                KVR_LOG("write package file error\n");
                ok = false;
            }
        }
    }
    if (index && std::fclose(index) != 0 && ok) {
        KVR_LOG("write package file error\n");
        ok = false;
    }
    std::fclose(package);
    if (!ok) {
        KVR_LOG("error\n");
        return -1;
    }
    KVR_LOG("end\n");
    return 0;
}
