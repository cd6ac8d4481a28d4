// Simulated devices in temporary folders, package bytes, and the agent run
// as a process across its restarts.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace agent_test {

struct partition {
    std::string name;
    uint32_t size;
    uint32_t erasesize;
};

// The partitions of both tables plus "misc", "fota" and "cache".
std::vector<partition> standard_partitions();

// A signing key pair made for the test process (never written to the source
// tree): trusted_key() is the key every sim_root trusts, other_key() one it
// doesn't hold.
struct signing_key {
    uint8_t secret[64];
    uint8_t public_key[32];
    std::string public_text; // the public key file's text
};
const signing_key& trusted_key();
const signing_key& other_key();

// A simulated device root in a fresh temporary folder, removed at the end:
// "/cache", a "/proc/mtd" listing the partitions and trusted_key() in
// "/etc/kvr_fota/keys/".
class sim_root {
public:
    explicit sim_root(const std::vector<partition>& partitions = standard_partitions());
    ~sim_root();
    sim_root(const sim_root&) = delete;
    sim_root& operator=(const sim_root&) = delete;

    const std::string& path() const { return root_; }
    // The real path of a device path.
    std::string real(const std::string& device_path) const;
    bool exists(const std::string& device_path) const;
    std::string read(const std::string& device_path) const;
    void write(const std::string& device_path, const std::string& content) const;
    int mode(const std::string& device_path) const;
    int mtd_number(const std::string& name) const;

private:
    std::string root_;
    std::vector<partition> partitions_;
};

// Package bytes: members laid out after the table, offsets filled in.
using members = std::vector<std::pair<std::string, std::string>>;
std::string make_package(const members& content);
std::string make_package_with_count(const members& content, int32_t count);
void put_u32(std::string& bytes, size_t at, uint32_t value);
// The members followed by the signature member, signed with the key.
std::string make_signed_package(const members& content, const signing_key& key = trusted_key());
// Signs again the bytes before the last 80 (the signature record), in place.
void resign(std::string& package, const signing_key& key = trusted_key());

// Points the in-process sim at the root and opens the logs as main does
// (the agent log only when the root has "/cache/kvr_fota/log_flag").
void attach(const sim_root& root);
void detach();

struct run_result {
    int status;      // exit status, -1 when the process didn't exit normally
    int restarts;    // restarts the run asked for
    std::string err; // its standard error
};

// Runs a sim program of the agent once with the arguments and extra
// environment entries; run_agent runs kvr_fota_update_sim.
run_result run_program(const char* binary, const sim_root& root, const std::vector<std::string>& args,
                       const std::vector<std::string>& env = {});
run_result run_agent(const sim_root& root, const std::vector<std::string>& args,
                     const std::vector<std::string>& env = {});

// Runs "update", then once without arguments per restart asked for, as the
// device's start-up does, at most `limit` starts; the number of starts made.
int run_update_to_end(const sim_root& root, const std::vector<std::string>& env, int limit = 8);

int count_of(const std::string& text, const std::string& what);

} // namespace agent_test
