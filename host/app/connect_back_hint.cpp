#include "app/connect_back_hint.h"

#include "platform/text.h"

namespace app {

std::u16string NoAddressHint(const std::string& filter)
{
    return u"Nenhum endereco deste PC contem \"" + platform::Utf8ToUtf16(filter) +
           u"\": o PC nao tem endereco na rede do roteador. Verifique o cabo de rede e a configuracao do adaptador.";
}

std::u16string NoConnectionHint(const devlink::AnnounceState& state)
{
    const std::string adapter = state.adapter.empty() ? "desconhecido" : state.adapter;
    return u"O roteador nao se conectou a este PC. Verifique o firewall (permita este programa, porta TCP " +
           platform::Utf8ToUtf16(std::to_string(state.listenPort)) + u"), o cabo de rede e o endereco anunciado " +
           platform::Utf8ToUtf16(devlink::DottedAddress(state.address)) + u" (adaptador " + platform::Utf8ToUtf16(adapter) + u").";
}

std::optional<std::u16string> ConnectBackHint::Check(uint64_t nowMs, const devlink::AnnounceState& state)
{
    if (!started_) {
        started_ = true;
        baselineAccepted_ = state.accepted;
    }
    std::u16string text;
    if (state.address != announcedAddress_) announcingSinceMs_.reset();
    announcedAddress_ = state.address;
    if (state.address == 0) {
        text = NoAddressHint(state.filter);
    } else {
        if (!announcingSinceMs_) announcingSinceMs_ = nowMs;
        const bool waitedLong = nowMs - *announcingSinceMs_ >= kConnectBackHintMs;
        if (waitedLong && state.accepted == baselineAccepted_) text = NoConnectionHint(state);
    }
    if (text == shown_) return std::nullopt;
    shown_ = text;
    return text;
}

}  // namespace app
