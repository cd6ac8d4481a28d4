// What the link side received, kept for tests and for the --files folder:
// blocks counted by type, connections, announcements and the files of the
// transfers. Every member may be called from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

namespace routersim {

struct LinkCounters {
    int announcements = 0;         // announcements that led to a connection attempt
    int ignoredAnnouncements = 0;  // datagrams that did not, for whatever reason
    int connections = 0;
    int blocks = 0;
    int unknownBlocks = 0;  // blocks of a type the router does not know
    int transfers = 0;      // start blocks
    uint64_t rawBytes = 0;  // bytes of transfers, outside blocks
};

struct ReceivedFile {
    uint8_t type = 0;  // of the start block: 0x98 modem image, 0x99 modem checksum, 0x01 Linux image
    uint32_t seq = 0;  // of the start block
    uint32_t announcedSize = 0;
    std::vector<uint8_t> bytes;
    bool complete = false;  // false when the connection ended first
};

class LinkRecorder {
public:
    void CountAnnouncement(bool used);
    void CountConnection();
    void CountBlock(uint8_t type, bool known);
    // The transfer's number, counting from 1.
    int CountTransfer();
    void CountRawBytes(uint64_t count);
    void AddFile(ReceivedFile file);
    void ForgetFiles();

    LinkCounters Counters() const;
    int BlocksSeen(uint8_t type) const;
    size_t FileCount() const;
    std::vector<ReceivedFile> Files() const;

private:
    mutable std::mutex mutex_;
    LinkCounters counters_;
    std::array<int, 256> blocksByType_{};
    std::vector<ReceivedFile> files_;
};

}  // namespace routersim
