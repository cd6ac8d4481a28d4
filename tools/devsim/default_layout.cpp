#include "default_layout.h"

#include "part_tables.h"

#include <cctype>

namespace devsim {

namespace {

constexpr uint32_t kSize = 0x40000;
constexpr uint32_t kEraseSize = 0x20000;
constexpr uint32_t kWriteSize = 2048;

layout_partition partition(const std::string& name, bool file_system)
{
    layout_partition part;
    part.name = name;
    part.size = kSize;
    part.erasesize = kEraseSize;
    part.writesize = kWriteSize;
    if (file_system) {
        std::string folder = name;
        for (char& c : folder) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        part.mount = "/" + folder;
    }
    return part;
}

void add_table(layout& partitions, const part_entry* table)
{
    for (const part_entry* row = table; row->part_name != nullptr; ++row)
        partitions.push_back(partition(row->part_name, row->part_type == KVR_PART_FILE_SYSTEM));
}

} // namespace

layout default_layout()
{
    layout partitions;
    add_table(partitions, system_part_table);
    add_table(partitions, recovery_part_table);
    partitions.push_back(partition("misc", false));
    partitions.push_back(partition("fota", false));
    partitions.push_back(partition("cache", true));
    return partitions;
}

} // namespace devsim
