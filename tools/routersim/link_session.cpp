#include "routersim/link_session.h"

#include <algorithm>
#include <cstdio>

#include "routersim/link_diag.h"
#include "routersim/link_file_store.h"
#include "routersim/link_io.h"
#include "routersim/log.h"

namespace routersim {
namespace {

constexpr size_t kChunkBytes = 256 * 1024;

bool IsTransfer(uint8_t type)
{
    return type == devlink::kModemImage || type == devlink::kModemChecksum || type == devlink::kLinuxImage;
}

bool IsKnown(uint8_t type)
{
    switch (type) {
    case devlink::kLinuxImage:
    case devlink::kCmdData:
    case devlink::kCmdReboot:
    case devlink::kCmdIpMac:
    case devlink::kCmdQueryInfo:
    case devlink::kCmdCloseFactory:
    case devlink::kCmdModemUpgrade:
    case devlink::kCmdToUserMode:
    case devlink::kCmdModemState:
    case devlink::kModemImage:
    case devlink::kModemChecksum:
    case devlink::kCmdClose: return true;
    default: return false;
    }
}

std::string Hex(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%02X", value);
    return text;
}

LinkBlock Refusal(uint32_t seq)
{
    return HeaderBlock(devlink::kCmdClose, seq);
}

// The answer to a step that a check guards: the step's own type when the
// check passed, the refusal otherwise.
LinkBlock Guarded(const LinkRequest& request, const CheckVerdict& verdict)
{
    LogLine("link: " + verdict.text);
    return verdict.passed ? HeaderBlock(request.type, request.seq) : Refusal(request.seq);
}

LinkBlock VersionBlock(uint32_t seq, const std::string& version)
{
    std::vector<uint8_t> text(version.begin(), version.begin() + std::min(version.size(), kDataCapacity - 1));
    text.push_back(0);
    return DataBlock(devlink::kCmdQueryInfo, seq, text, static_cast<uint32_t>(text.size()));
}

}  // namespace

LinkSession::LinkSession(int fd, int stopFd, RouterState& state, LinkRecorder& recorder, std::function<LinkConduct()> conduct)
    : fd_(fd), stopFd_(stopFd), state_(state), recorder_(recorder), conduct_(std::move(conduct)), chunk_(kChunkBytes)
{
}

void LinkSession::Run()
{
    LinkBlock block{};
    while (true) {
        switch (ReadExact(fd_, stopFd_, block)) {
        case IoResult::kDone: break;
        case IoResult::kClosed:
            if (conduct_().verbose) LogLine("link: the host closed the connection");
            return;
        case IoResult::kStopped: return;
        }
        if (!Serve(ReadRequest(block))) return;
    }
}

bool LinkSession::Serve(const LinkRequest& request)
{
    const LinkConduct conduct = conduct_();
    const LinkFaults& faults = conduct.faults;
    const uint8_t type = request.type;
    const bool known = IsKnown(type);
    recorder_.CountBlock(type, known);
    if (IsTransfer(type) && !Receive(request, conduct)) return false;
    if (faults.Dropped(type)) {
        LogLine("link: closing the connection at " + Hex(type) + " (drop)");
        return false;
    }

    std::optional<LinkBlock> answer;
    bool end = false;
    if (faults.Silent(type)) {
        if (conduct.verbose) LogLine("link: ignoring " + Hex(type) + " (silent)");
    } else if (faults.Refused(type)) {
        answer = Refusal(request.seq);
    } else {
        answer = CarryOut(request, conduct, end);
    }
    if (faults.randomSeed) answer = RandomBlock(*faults.randomSeed);
    if (!known) LogLine("link: a block of unknown type " + Hex(type));
    if (conduct.verbose) {
        LogLine("link: " + Hex(type) + " seq " + std::to_string(request.seq) + " -> " +
                (answer ? Hex((*answer)[0]) : std::string("no answer")) + (end ? ", closing" : ""));
    }
    if (answer && !Send(*answer, request, conduct)) return false;
    return !end;
}

bool LinkSession::Receive(const LinkRequest& start, const LinkConduct& conduct)
{
    const int number = recorder_.CountTransfer();
    ReceivedFile file{start.type, start.seq, start.aux2, {}, false};
    if (start.aux2 > kMaxFileBytes) {
        LogLine("link: a transfer of " + std::to_string(start.aux2) + " bytes is too large; closing the connection");
        return false;
    }
    const uint64_t wanted = std::min<uint64_t>(start.aux2, conduct.faults.dropAfterBytes.value_or(UINT64_MAX));
    file.bytes.reserve(static_cast<size_t>(wanted));
    while (file.bytes.size() < wanted) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(chunk_.size(), wanted - file.bytes.size()));
        size_t got = 0;
        const IoResult result = ReadSome(fd_, stopFd_, std::span<uint8_t>(chunk_.data(), want), got);
        if (result != IoResult::kDone) {
            if (result == IoResult::kClosed) {
                LogLine("link: the connection ended after " + std::to_string(file.bytes.size()) + " of " +
                        std::to_string(start.aux2) + " bytes of a transfer");
            }
            recorder_.AddFile(std::move(file));
            return false;
        }
        file.bytes.insert(file.bytes.end(), chunk_.begin(), chunk_.begin() + static_cast<std::ptrdiff_t>(got));
        recorder_.CountRawBytes(got);
    }
    if (file.bytes.size() < start.aux2) {
        LogLine("link: closing the connection after " + std::to_string(file.bytes.size()) + " bytes of a transfer (drop-after)");
        recorder_.AddFile(std::move(file));
        return false;
    }
    file.complete = true;
    if (conduct.checkImages) {
        const std::string found = checks_.Take(file);
        if (conduct.verbose) LogLine("link: received " + found);
    }
    if (!conduct.filesFolder.empty()) SaveReceivedFile(conduct.filesFolder, number, file);
    recorder_.AddFile(std::move(file));
    return true;
}

std::optional<LinkBlock> LinkSession::CarryOut(const LinkRequest& request, const LinkConduct& conduct, bool& end)
{
    const uint8_t type = request.type;
    switch (type) {
    case devlink::kCmdIpMac:
    case devlink::kCmdModemState:
    case devlink::kCmdToUserMode: return HeaderBlock(type, request.seq);
    case devlink::kCmdModemUpgrade:
    case devlink::kLinuxImage:
        if (!conduct.checkImages) return HeaderBlock(type, request.seq);
        return Guarded(request, type == devlink::kLinuxImage ? checks_.LinuxImage() : checks_.ModemImage());
    case devlink::kCmdCloseFactory: state_.SetFactoryMode(false); return HeaderBlock(type, request.seq);
    case devlink::kCmdQueryInfo: return VersionBlock(request.seq, state_.FirmwareVersion());
    case devlink::kCmdData:
        {
            const size_t length = std::min<size_t>(request.length, request.data.size());
            const std::vector<uint8_t> frame =
                DiagAnswer(std::span<const uint8_t>(request.data.data(), length), conduct.esn, conduct.faults.diagBreak);
            return DataBlock(type, request.seq, frame, static_cast<uint32_t>(frame.size()));
        }
    case devlink::kCmdReboot:
        state_.SetFactoryMode(false);
        end = true;
        return std::nullopt;
    case devlink::kCmdClose: end = true; return std::nullopt;
    default: return std::nullopt;
    }
}

bool LinkSession::Send(LinkBlock answer, const LinkRequest& request, const LinkConduct& conduct)
{
    const LinkFaults& faults = conduct.faults;
    if (faults.delay.count() > 0 && !PauseUnlessStopped(stopFd_, faults.delay)) return false;
    if (faults.unknownFirst) {
        const LinkBlock unknown = HeaderBlock(kUnknownBlockType, request.seq);
        if (SendAll(fd_, stopFd_, unknown) != IoResult::kDone) return false;
    }
    if (faults.wrongSeq) SetSeq(answer, request.seq + 1);
    return SendAll(fd_, stopFd_, answer) == IoResult::kDone;
}

LinkBlock LinkSession::RandomBlock(uint32_t seed)
{
    if (seededWith_ != seed) {
        random_.seed(seed);
        seededWith_ = seed;
    }
    LinkBlock block{};
    for (uint8_t& byte : block) byte = static_cast<uint8_t>(random_());
    return block;
}

}  // namespace routersim
