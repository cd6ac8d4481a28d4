#include "manifest.h"

#include "image_delta.h"

#include <sstream>
#include <stdexcept>

namespace fotapack {
namespace {

std::string resolve(const std::string& path, const std::string& base_dir)
{
    return path.empty() || path[0] == '/' || base_dir.empty() ? path : base_dir + "/" + path;
}

} // namespace

manifest parse_manifest(const std::string& text, const std::string& base_dir)
{
    manifest m{{}, {}, {}, kDefaultBlockSize};
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string word; words >> word;) w.push_back(word);
        auto bad = [&](const char* why) {
            return std::runtime_error("manifest line " + std::to_string(number) + ": " + why);
        };
        if (w.empty()) continue;
        if (w[0] == "pre" || w[0] == "post") {
            if (w.size() != 2) throw bad("expected: pre|post PATH");
            (w[0] == "pre" ? m.pre_script : m.post_script) = resolve(w[1], base_dir);
        } else if (w[0] == "block-size") {
            if (w.size() != 2) throw bad("expected: block-size BYTES");
            unsigned long size = std::stoul(w[1]);
            if (size == 0 || size > (1ul << 20)) throw bad("block size out of range");
            m.block_size = uint32_t(size);
        } else {
            if (w.size() != 4 || (w[1] != "image" && w[1] != "fs")) throw bad("expected: NAME image|fs OLD NEW");
            m.partitions.push_back({w[0], w[1] == "fs", resolve(w[2], base_dir), resolve(w[3], base_dir)});
        }
    }
    return m;
}

} // namespace fotapack
