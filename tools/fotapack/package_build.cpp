#include "package_build.h"

#include "file_io.h"
#include "fs_delta.h"
#include "image_delta.h"
#include "package_file.h"
#include "part_tables.h"

#include <stdexcept>

namespace fotapack {

std::string member_name(const std::string& part_name, bool file_system)
{
    for (const part_entry* table : {system_part_table, recovery_part_table})
        for (const part_entry* row = table; row->part_name != nullptr; ++row) {
            if (part_name != row->part_name) continue;
            if ((row->part_type == KVR_PART_FILE_SYSTEM) != file_system)
                throw std::runtime_error(part_name + " is of the other kind in the partition tables");
            return row->delta_name;
        }
    throw std::runtime_error(part_name + " is not in the partition tables");
}

std::vector<uint8_t> build_package(const manifest& m)
{
    std::vector<package_member> members;
    for (const manifest_partition& p : m.partitions) {
        std::string name = member_name(p.name, p.file_system);
        members.push_back({name, p.file_system ? make_fs_delta(p.old_path, p.new_path, nullptr)
                                               : make_image_delta(read_file(p.old_path), read_file(p.new_path),
                                                                  m.block_size, nullptr)});
    }
    if (!m.pre_script.empty()) members.push_back({"preprocessing.mld", read_file(m.pre_script)});
    if (!m.post_script.empty()) members.push_back({"postprocessing.mld", read_file(m.post_script)});
    return write_package(members);
}

} // namespace fotapack
