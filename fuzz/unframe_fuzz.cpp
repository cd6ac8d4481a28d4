// Bytes as the router sends them to a DIAG command: any input must unframe
// without harm, an accepted body must come back unchanged when framed and
// unframed again, and a refusal must say why. The input framed as a body
// must unframe to itself as well.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "link/diag_frame.h"

namespace {

const std::u16string kNoEndFlag = u"the Received Data is Wrong without End Flag(0x7e)";
const std::u16string kBadCrc = u"the Received Data is Wrong with Wrong CRC Checksum";

size_t EscapedSize(std::span<const uint8_t> plain)
{
    size_t size = plain.size();
    for (uint8_t byte : plain) size += byte == devlink::kFrameFlag || byte == devlink::kFrameEscape;
    return size;
}

// Frames the body; an empty frame must mean the body is too long for one.
void CheckRoundTrip(const std::vector<uint8_t>& body)
{
    const uint16_t fcs = devlink::Fcs16(body);
    const uint8_t fcsBytes[] = {static_cast<uint8_t>(fcs), static_cast<uint8_t>(fcs >> 8)};
    const size_t frameSize = EscapedSize(body) + EscapedSize(fcsBytes) + 1;
    const std::vector<uint8_t> frame = devlink::BuildFrame(body);
    if (frame.empty()) {
        if (frameSize <= devlink::kMaxFrameBytes) __builtin_trap();
        return;
    }
    if (frame.size() != frameSize || frame.back() != devlink::kFrameFlag) __builtin_trap();
    if (std::count(frame.begin(), frame.end(), devlink::kFrameFlag) != 1) __builtin_trap();
    const devlink::UnframeResult again = devlink::UnframeAndCheck(frame);
    if (!again.ok || again.body != body || !again.error.empty()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> received(data, size);
    const devlink::UnframeResult result = devlink::UnframeAndCheck(received);
    if (result.ok) {
        if (!result.error.empty() || result.body.size() + 3 > size) __builtin_trap();
        CheckRoundTrip(result.body);
    } else if (!result.body.empty() || (result.error != kNoEndFlag && result.error != kBadCrc)) {
        __builtin_trap();
    }
    CheckRoundTrip(std::vector<uint8_t>(received.begin(), received.end()));
    return 0;
}
