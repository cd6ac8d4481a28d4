#include "routersim/link_recorder.h"

namespace routersim {

void LinkRecorder::CountAnnouncement(bool used)
{
    std::lock_guard<std::mutex> lock(mutex_);
    ++(used ? counters_.announcements : counters_.ignoredAnnouncements);
}

void LinkRecorder::CountConnection()
{
    std::lock_guard<std::mutex> lock(mutex_);
    ++counters_.connections;
}

void LinkRecorder::CountBlock(uint8_t type, bool known)
{
    std::lock_guard<std::mutex> lock(mutex_);
    ++counters_.blocks;
    if (!known) ++counters_.unknownBlocks;
    ++blocksByType_[type];
}

int LinkRecorder::CountTransfer()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return ++counters_.transfers;
}

void LinkRecorder::CountRawBytes(uint64_t count)
{
    std::lock_guard<std::mutex> lock(mutex_);
    counters_.rawBytes += count;
}

void LinkRecorder::AddFile(ReceivedFile file)
{
    std::lock_guard<std::mutex> lock(mutex_);
    files_.push_back(std::move(file));
}

void LinkRecorder::ForgetFiles()
{
    std::lock_guard<std::mutex> lock(mutex_);
    files_.clear();
}

LinkCounters LinkRecorder::Counters() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return counters_;
}

int LinkRecorder::BlocksSeen(uint8_t type) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return blocksByType_[type];
}

size_t LinkRecorder::FileCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return files_.size();
}

std::vector<ReceivedFile> LinkRecorder::Files() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return files_;
}

}  // namespace routersim
