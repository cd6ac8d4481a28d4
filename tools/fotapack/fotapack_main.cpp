// fotapack: builds update packages and partition deltas on the host; lists
// and extracts packages.
#include "file_io.h"
#include "fs_delta.h"
#include "image_delta.h"
#include "manifest.h"
#include "package_build.h"
#include "package_file.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

using namespace fotapack;

namespace {

const char kUsage[] =
    "usage: fotapack COMMAND ARGS...   (fotapack COMMAND --help for one command)\n"
    "  diff OLD NEW OUT [--fs] [--block-size BYTES]   delta of one partition\n"
    "  build MANIFEST OUT                             update package from a manifest\n"
    "  list PACKAGE                                   members of a package\n"
    "  extract PACKAGE DIR                            members to files, with split_file_info\n";

const char kDiffHelp[] =
    "usage: fotapack diff OLD NEW OUT [--fs] [--block-size BYTES]\n"
    "Writes to OUT the delta that turns the partition image OLD into NEW in\n"
    "place, one erase block at a time (default block size 131072 bytes).\n"
    "--fs: OLD and NEW are folders of a file-system partition; the delta holds\n"
    "per-file operations (folders, new, changed, removed and renamed files,\n"
    "links, attributes), paths relative to the partition's mount path.\n";

const char kBuildHelp[] =
    "usage: fotapack build MANIFEST OUT\n"
    "Writes the update package OUT. MANIFEST is plain text, one item a line,\n"
    "'#' starts a comment, relative paths are from the manifest's folder:\n"
    "  NAME KIND OLD NEW    partition NAME of the partition tables, KIND image\n"
    "                       (OLD and NEW images) or fs (OLD and NEW folders)\n"
    "  pre PATH             member preprocessing.mld\n"
    "  post PATH            member postprocessing.mld\n"
    "  block-size BYTES     erase-block size of the deltas (default 131072)\n"
    "Members are named as the partition tables name them (kernel -> kernel.mld);\n"
    "the same inputs always give the same bytes.\n";

const char kListHelp[] =
    "usage: fotapack list PACKAGE\n"
    "Prints one line per member: name, length, offset.\n";

const char kExtractHelp[] =
    "usage: fotapack extract PACKAGE DIR\n"
    "Writes every member to DIR/NAME and the index DIR/split_file_info\n"
    "(\"NAME LENGTH\" per member, nothing between records).\n";

bool wants_help(const std::vector<std::string>& args)
{
    for (const std::string& a : args)
        if (a == "--help" || a == "-h") return true;
    return false;
}

int usage_error(const char* help)
{
    std::fputs(help, stderr);
    return 2;
}

int run_diff(const std::vector<std::string>& args)
{
    bool file_system = false;
    uint32_t block_size = kDefaultBlockSize;
    std::vector<std::string> paths;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--fs")
            file_system = true;
        else if (args[i] == "--block-size" && i + 1 < args.size())
            block_size = uint32_t(std::stoul(args[++i]));
        else
            paths.push_back(args[i]);
    }
    if (paths.size() != 3) return usage_error(kDiffHelp);
    if (file_system) {
        fs_delta_stats stats;
        std::vector<uint8_t> delta = make_fs_delta(paths[0], paths[1], &stats);
        write_file(paths[2], delta);
        std::printf("%zu bytes, %u file operations, %u frames\n", delta.size(), stats.operations, stats.frames);
        return 0;
    }
    delta_stats stats;
    std::vector<uint8_t> delta = make_image_delta(read_file(paths[0]), read_file(paths[1]), block_size, &stats);
    write_file(paths[2], delta);
    std::printf("%zu bytes, %u blocks rewritten, %u frames, %u copy bytes made literal\n", delta.size(),
                stats.rewritten_blocks, stats.frames, stats.broken_copies);
    return 0;
}

int run_build(const std::vector<std::string>& args)
{
    if (args.size() != 2) return usage_error(kBuildHelp);
    std::vector<uint8_t> text = read_file(args[0]);
    size_t slash = args[0].rfind('/');
    std::string base = slash == std::string::npos ? "" : args[0].substr(0, slash);
    write_file(args[1], build_package(parse_manifest(std::string(text.begin(), text.end()), base)));
    return 0;
}

int run_list(const std::vector<std::string>& args)
{
    if (args.size() != 1) return usage_error(kListHelp);
    for (const package_entry& e : read_package_entries(read_file(args[0])))
        std::printf("%s %u %u\n", e.name.c_str(), e.length, e.offset);
    return 0;
}

int run_extract(const std::vector<std::string>& args)
{
    if (args.size() != 2) return usage_error(kExtractHelp);
    extract_package(read_file(args[0]), args[1]);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return usage_error(kUsage);
    std::string command = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    struct entry {
        const char* name;
        const char* help;
        int (*run)(const std::vector<std::string>&);
    };
    const entry commands[] = {{"diff", kDiffHelp, run_diff},
                              {"build", kBuildHelp, run_build},
                              {"list", kListHelp, run_list},
                              {"extract", kExtractHelp, run_extract}};
    if (command == "--help" || command == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    for (const entry& c : commands) {
        if (command != c.name) continue;
        if (wants_help(args)) {
            std::fputs(c.help, stdout);
            return 0;
        }
        try {
            return c.run(args);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "fotapack %s: %s\n", c.name, e.what());
            return 1;
        }
    }
    return usage_error(kUsage);
}
