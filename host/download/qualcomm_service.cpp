#include "download/qualcomm_service.h"

#include "platform/debug_output.h"

namespace download {

CBIWcdmaQualcommService::CBIWcdmaQualcommService(devlink::SockProducerSettings settings) : server_(std::move(settings))
{
    for (auto& engine : engines_) engine = std::make_unique<devlink::CNetPacket>(server_);
}

devlink::CNetPacket* CBIWcdmaQualcommService::Engine(int port)
{
    if (port < 0 || port >= kPortCount) return nullptr;
    return engines_[static_cast<size_t>(port)].get();
}

int CBIWcdmaQualcommService::InitPort(int port)
{
    devlink::CNetPacket* engine = Engine(port);
    return engine == nullptr ? 0 : engine->InitPort(port);
}

int CBIWcdmaQualcommService::PortControl(int port, int key)
{
    devlink::CNetPacket* engine = Engine(port);
    if (engine == nullptr) return -1;
    return devlink::PortControl(*engine, kind_ == kLinkNetwork, key);
}

void CBIWcdmaQualcommService::ClosePort(int port)
{
    devlink::CNetPacket* engine = Engine(port);
    if (engine == nullptr) return;
    if (kind_ == kLinkNetwork) {
        engine->ClosePort();
    } else {
        engine->ClosePlainChannel();
    }
}

void CBIWcdmaQualcommService::ClearReplies(int port)
{
    if (port >= 0 && port < devlink::kSessionSlots) server_.ClearQueue(port);
}

bool CBIWcdmaQualcommService::QueryVersion(int port, std::u16string& text)
{
    devlink::CNetPacket* engine = Engine(port);
    if (engine == nullptr) return false;
    if (kind_ != kLinkNetwork) return engine->ReadVersionBlock(text) != 0;
    if (engine->QueryInfo(text)) return true;
    uint32_t esn = 0;
    if (engine->ReadEsn(esn) == 0) return false;
    platform::DebugOutput(u"KR710 query info failed, the ESN answered");
    text = u"SW do not support cmd_0x39";
    return true;
}

}  // namespace download
