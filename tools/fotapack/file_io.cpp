#include "file_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace fotapack {
namespace {

std::runtime_error failure(const char* what, const std::string& path)
{
    return std::runtime_error(std::string(what) + " " + path + ": " + std::strerror(errno));
}

} // namespace

std::vector<uint8_t> read_file(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) throw failure("cannot open", path);
    std::vector<uint8_t> data;
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) data.insert(data.end(), chunk, chunk + n);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) throw failure("cannot read", path);
    return data;
}

void write_file(const std::string& path, const std::vector<uint8_t>& data)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) throw failure("cannot create", path);
    bool ok = data.empty() || std::fwrite(data.data(), 1, data.size(), file) == data.size();
    ok = std::fclose(file) == 0 && ok;
    if (!ok) throw failure("cannot write", path);
}

} // namespace fotapack
