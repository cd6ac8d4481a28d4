#include "package_file.h"

#include "file_io.h"
#include "le_fields.h"
#include "package_format.h"

#include <cstring>
#include <stdexcept>

namespace fotapack {
namespace {

constexpr uint32_t kHeaderSize = KVR_PACKAGE_HEADER_SIZE;
constexpr uint32_t kEntrySize = KVR_PACKAGE_ENTRY_SIZE;
constexpr uint32_t kNameSize = KVR_PACKAGE_NAME_SIZE;

} // namespace

std::vector<uint8_t> write_package(const std::vector<package_member>& members)
{
    uint64_t offset = kHeaderSize + uint64_t(kEntrySize) * members.size();
    std::vector<uint8_t> out(offset, 0);
    kvr_put_le32(out.data(), KVR_PACKAGE_MAGIC);
    kvr_put_le32(out.data() + 4, uint32_t(members.size()));
    for (size_t i = 0; i < members.size(); ++i) {
        const package_member& m = members[i];
        if (m.name.empty() || m.name.size() >= kNameSize) throw std::runtime_error("member name too long: " + m.name);
        if (offset + m.data.size() > UINT32_MAX) throw std::runtime_error("package larger than 4 GiB");
        uint8_t* entry = out.data() + kHeaderSize + kEntrySize * i;
        std::memcpy(entry, m.name.data(), m.name.size());
        kvr_put_le32(entry + kNameSize, uint32_t(m.data.size()));
        kvr_put_le32(entry + kNameSize + 4, uint32_t(offset));
        offset += m.data.size();
    }
    for (const package_member& m : members) out.insert(out.end(), m.data.begin(), m.data.end());
    return out;
}

std::vector<package_entry> read_package_entries(const std::vector<uint8_t>& package)
{
    if (package.size() < kHeaderSize || kvr_le32(package.data()) != KVR_PACKAGE_MAGIC)
        throw std::runtime_error("not an update package");
    int32_t count = int32_t(kvr_le32(package.data() + 4));
    if (count < 0 || kHeaderSize + uint64_t(kEntrySize) * uint32_t(count) > package.size())
        throw std::runtime_error("package entry table is damaged");
    std::vector<package_entry> entries;
    for (int32_t i = 0; i < count; ++i) {
        const uint8_t* raw = package.data() + kHeaderSize + kEntrySize * uint32_t(i);
        package_entry e{std::string(reinterpret_cast<const char*>(raw), strnlen(reinterpret_cast<const char*>(raw), kNameSize)),
                        kvr_le32(raw + kNameSize), kvr_le32(raw + kNameSize + 4)};
        if (uint64_t(e.offset) + e.length > package.size())
            throw std::runtime_error("member " + e.name + " runs past the end of the package");
        entries.push_back(e);
    }
    return entries;
}

void extract_package(const std::vector<uint8_t>& package, const std::string& dir)
{
    std::string index;
    for (const package_entry& e : read_package_entries(package)) {
        write_file(dir + "/" + e.name, std::vector<uint8_t>(package.begin() + e.offset,
                                                            package.begin() + e.offset + e.length));
        index += e.name + " " + std::to_string(e.length);
    }
    write_file(dir + "/split_file_info", std::vector<uint8_t>(index.begin(), index.end()));
}

} // namespace fotapack
