// The router's answer as the web client reads it: header and body split,
// size caps and the end of the stream. The first byte picks how the stream
// ends (close, error, silence); the rest is what the router sent.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "web/response_reader.h"

namespace {

class FuzzSource : public web::ByteSource {
public:
    FuzzSource(const uint8_t* data, size_t size, platform::ReceiveStatus end) : data_(data), size_(size), end_(end) {}
    platform::ReceiveStatus Receive(void* buffer, size_t capacity, size_t& received) override
    {
        if (position_ == size_) return end_;
        received = std::min(capacity, size_ - position_);
        std::copy(data_ + position_, data_ + position_ + received, static_cast<uint8_t*>(buffer));
        position_ += received;
        return platform::ReceiveStatus::kData;
    }
    size_t Consumed() const { return position_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
    platform::ReceiveStatus end_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const platform::ReceiveStatus ends[] = {platform::ReceiveStatus::kClosed, platform::ReceiveStatus::kError,
                                            platform::ReceiveStatus::kTimeout};
    FuzzSource source(data + 1, size - 1, ends[data[0] % 3]);
    const web::HttpAnswer answer = web::ReadResponse(source);
    if (answer.headerText.size() > web::kHeaderLimit || answer.body.size() > web::kBodyLimit) __builtin_trap();
    if (answer.ok) {
        if (answer.headerText.size() + answer.body.size() != source.Consumed()) __builtin_trap();
        const std::string sent(reinterpret_cast<const char*>(data + 1), source.Consumed());
        if (sent != answer.headerText + answer.body) __builtin_trap();
    } else if (answer.failure.empty()) {
        __builtin_trap();
    }
    return 0;
}
