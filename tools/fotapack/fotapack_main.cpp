// fotapack: builds update packages and partition deltas on the host; lists
// and extracts packages; makes signing keys, signs and verifies packages.
#include "file_io.h"
#include "fs_delta.h"
#include "image_delta.h"
#include "key_file.h"
#include "manifest.h"
#include "package_build.h"
#include "package_file.h"
#include "package_sign.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <vector>

using namespace fotapack;

namespace {

const char kUsage[] =
    "usage: fotapack COMMAND ARGS...   (fotapack COMMAND --help for one command)\n"
    "  diff OLD NEW OUT [--fs] [--block-size BYTES]   delta of one partition\n"
    "  build MANIFEST OUT [--key SECRET]              update package from a manifest\n"
    "  list PACKAGE                                   members of a package, its signature\n"
    "  extract PACKAGE DIR                            members to files, with split_file_info\n"
    "  keygen SECRET PUBLIC                           new signing key pair\n"
    "  sign PACKAGE --key SECRET                      signs a package in place\n"
    "  verify PACKAGE --public PUBLIC...              checks its signature against the keys\n";

const char kDiffHelp[] =
    "usage: fotapack diff OLD NEW OUT [--fs] [--block-size BYTES] [--transform KIND]\n"
    "Writes to OUT the delta that turns the partition image OLD into NEW in\n"
    "place, one erase block at a time (default block size 131072 bytes).\n"
    "--transform none|a32|thumb2|a64: predict the moved branches of that ARM\n"
    "instruction set in every copy (default: the smaller delta of none and the\n"
    "set whose prediction fits the images best).\n"
    "--fs: OLD and NEW are folders of a file-system partition; the delta holds\n"
    "per-file operations (folders, new, changed, removed and renamed files,\n"
    "links, attributes), paths relative to the partition's mount path.\n";

const char kBuildHelp[] =
    "usage: fotapack build MANIFEST OUT [--key SECRET]\n"
    "Writes the update package OUT. MANIFEST is plain text, one item a line,\n"
    "'#' starts a comment, relative paths are from the manifest's folder:\n"
    "  NAME KIND OLD NEW    partition NAME of the partition tables, KIND image\n"
    "                       (OLD and NEW images) or fs (OLD and NEW folders)\n"
    "  pre PATH             member preprocessing.mld\n"
    "  post PATH            member postprocessing.mld\n"
    "  block-size BYTES     erase-block size of the deltas (default 131072)\n"
    "Members are named as the partition tables name them (kernel -> kernel.mld);\n"
    "the same inputs always give the same bytes.\n"
    "--key SECRET: sign the package with the secret key file SECRET (see\n"
    "fotapack sign --help); the agent accepts only signed packages.\n";

const char kListHelp[] =
    "usage: fotapack list PACKAGE\n"
    "Prints one line per member: name, length, offset; then \"signed by key ID\"\n"
    "with the signer's key id (not checked; see fotapack verify) or \"not signed\".\n";

const char kKeygenHelp[] =
    "usage: fotapack keygen SECRET PUBLIC\n"
    "Makes a new Ed25519 key pair: the secret key file SECRET (mode 0600; an\n"
    "existing file is not overwritten) and the public key file PUBLIC, each a\n"
    "type line and the key in hexadecimal. Keep SECRET out of every repository;\n"
    "the agent is built with PUBLIC (CMake option KVR_TRUSTED_KEYS).\n";

const char kSignHelp[] =
    "usage: fotapack sign PACKAGE --key SECRET\n"
    "Signs the update package PACKAGE in place with the secret key file SECRET:\n"
    "adds the member signature.sig as the last entry (the other members move 40\n"
    "bytes on; a signature the package has is replaced). The signature covers\n"
    "the header, the whole entry table and every other member. The same package\n"
    "and key always give the same bytes.\n";

const char kVerifyHelp[] =
    "usage: fotapack verify PACKAGE --public PUBLIC...\n"
    "Exit status 0 when PACKAGE is signed by one of the public key files and laid\n"
    "out exactly (members without gaps after the table, the signature last,\n"
    "nothing after it); else prints why and exits with 1.\n";

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

// Reads a command's words into the options and operands given to `app`;
// false when they break its rules.
bool parse_words(CLI::App& app, const std::vector<std::string>& args)
{
    app.set_help_flag();
    // CLI11 reads the words from the back of the list.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError&) {
        return false;
    }
    return true;
}

int run_diff(const std::vector<std::string>& args)
{
    CLI::App app;
    bool file_system = false;
    std::string block_text;
    std::string transform_name;
    std::vector<std::string> paths;
    app.add_flag("--fs", file_system);
    CLI::Option* block_option = app.add_option("--block-size", block_text)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    CLI::Option* transform_option = app.add_option("--transform", transform_name)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option("paths", paths);
    if (!parse_words(app, args)) return usage_error(kDiffHelp);
    const uint32_t block_size = block_option->count() > 0 ? uint32_t(std::stoul(block_text)) : kDefaultBlockSize;
    std::optional<uint32_t> transform;
    if (transform_option->count() > 0) {
        for (uint32_t kind = 0; kind < KVR_TRANSFORM_KINDS; ++kind)
            if (transform_name == kvr_transform_name(kind)) transform = kind;
        if (!transform) return usage_error(kDiffHelp);
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
    std::vector<uint8_t> delta = make_image_delta(read_file(paths[0]), read_file(paths[1]), block_size, &stats, transform);
    write_file(paths[2], delta);
    std::printf("%zu bytes, %u blocks rewritten, %u frames, %u copy bytes made literal, code transform %s\n", delta.size(),
                stats.rewritten_blocks, stats.frames, stats.broken_copies, kvr_transform_name(stats.transform));
    return 0;
}

// The operands and the "--key SECRET" of build and sign; false on a usage error.
bool parse_key_words(const std::vector<std::string>& args, std::vector<std::string>& operands, std::string& key)
{
    CLI::App app;
    app.add_option("--key", key)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option("operands", operands);
    return parse_words(app, args);
}

int run_build(const std::vector<std::string>& given)
{
    std::vector<std::string> args;
    std::string key;
    if (!parse_key_words(given, args, key) || args.size() != 2) return usage_error(kBuildHelp);
    std::vector<uint8_t> text = read_file(args[0]);
    size_t slash = args[0].rfind('/');
    std::string base = slash == std::string::npos ? "" : args[0].substr(0, slash);
    std::vector<uint8_t> package = build_package(parse_manifest(std::string(text.begin(), text.end()), base));
    write_file(args[1], key.empty() ? package : sign_package(package, read_secret_key(key)));
    return 0;
}

int run_list(const std::vector<std::string>& args)
{
    if (args.size() != 1) return usage_error(kListHelp);
    for (const package_entry& e : read_package_entries(read_file(args[0])))
        std::printf("%s %u %u\n", e.name.c_str(), e.length, e.offset);
    kvr_signature_check checked = check_package_file(args[0], {});
    if (checked.has_key_id)
        std::printf("signed by key %s\n", key_id_text(checked.key_id).c_str());
    else
        std::printf("%s\n", checked.trust == KVR_TRUST_NOT_SIGNED ? "not signed" : kvr_package_trust_text(checked.trust));
    return 0;
}

int run_keygen(const std::vector<std::string>& args)
{
    if (args.size() != 2 || args[0] == args[1]) return usage_error(kKeygenHelp);
    write_key_pair(args[0], args[1]);
    return 0;
}

int run_sign(const std::vector<std::string>& given)
{
    std::vector<std::string> args;
    std::string key;
    if (!parse_key_words(given, args, key) || args.size() != 1 || key.empty()) return usage_error(kSignHelp);
    write_file(args[0], sign_package(read_file(args[0]), read_secret_key(key)));
    return 0;
}

int run_verify(const std::vector<std::string>& args)
{
    if (args.size() < 3 || args[1] != "--public") return usage_error(kVerifyHelp);
    CLI::App app;
    std::string package;
    std::vector<std::string> key_files;
    app.add_option("package", package)->required();
    app.add_option("--public", key_files)->required();
    if (!parse_words(app, args)) return usage_error(kVerifyHelp);
    std::vector<public_key> keys;
    for (const std::string& file : key_files) keys.push_back(read_public_key(file));
    kvr_signature_check checked = check_package_file(package, keys);
    if (checked.trust != KVR_TRUST_SIGNED) {
        std::fprintf(stderr, "fotapack verify: %s: %s\n", package.c_str(), kvr_package_trust_text(checked.trust));
        return 1;
    }
    std::printf("%s: signed by key %s\n", package.c_str(), key_id_text(checked.key_id).c_str());
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
                              {"extract", kExtractHelp, run_extract},
                              {"keygen", kKeygenHelp, run_keygen},
                              {"sign", kSignHelp, run_sign},
                              {"verify", kVerifyHelp, run_verify}};
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
