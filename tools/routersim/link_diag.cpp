#include "routersim/link_diag.h"

#include <algorithm>

#include "link/diag_frame.h"
#include "link/little_endian.h"

namespace routersim {
namespace {

// The body with an FCS that is one off, escaped and closed like any frame.
std::vector<uint8_t> FrameWithBadFcs(std::span<const uint8_t> body)
{
    std::vector<uint8_t> plain(body.begin(), body.end());
    plain.resize(body.size() + 2);
    devlink::WriteLe16(plain, body.size(), static_cast<uint16_t>(devlink::Fcs16(body) ^ 0x0001));
    std::vector<uint8_t> frame;
    for (const uint8_t byte : plain) {
        if (byte == devlink::kFrameFlag || byte == devlink::kFrameEscape) {
            frame.push_back(devlink::kFrameEscape);
            frame.push_back(byte ^ 0x20);
        } else {
            frame.push_back(byte);
        }
    }
    frame.push_back(devlink::kFrameFlag);
    return frame;
}

std::vector<uint8_t> AnswerBody(std::span<const uint8_t> received, uint32_t esn)
{
    const devlink::UnframeResult request = devlink::UnframeAndCheck(received);
    if (request.ok && request.body == std::vector<uint8_t>{kDiagReadEsn}) {
        std::vector<uint8_t> answer{kDiagReadEsn, 0, 0, 0, 0};
        devlink::WriteLe32(answer, 1, esn);
        return answer;
    }
    std::vector<uint8_t> body(1 + (request.ok ? request.body.size() : 0));
    body[0] = kDiagBadCommand;
    if (request.ok) std::copy(request.body.begin(), request.body.end(), body.begin() + 1);
    // Escaping can double every byte, the FCS's too, and the flag follows.
    body.resize(std::min(body.size(), devlink::kMaxFrameBytes / 2 - 3));
    return body;
}

}  // namespace

std::vector<uint8_t> DiagAnswer(std::span<const uint8_t> received, uint32_t esn, DiagBreak diagBreak)
{
    const std::vector<uint8_t> body = AnswerBody(received, esn);
    switch (diagBreak) {
    case DiagBreak::kBadFcs: return FrameWithBadFcs(body);
    case DiagBreak::kNoEndFlag:
        {
            std::vector<uint8_t> frame = devlink::BuildFrame(body);
            frame.pop_back();
            return frame;
        }
    case DiagBreak::kNone: break;
    }
    return devlink::BuildFrame(body);
}

}  // namespace routersim
