#include "web/arp_flush.h"

#include "platform/clock.h"
#include "platform/debug_output.h"
#include "platform/process.h"
#include "platform/text.h"

namespace web {
namespace {

constexpr uint32_t kArpWaitMs = 3000;
constexpr uint32_t kArpSettleMs = 1000;

}  // namespace

ArpCommand PlatformArpCommand(const std::string& configured)
{
#ifdef _WIN32
    return ArpCommand{u"cmd", u"/c " + (configured.empty() ? std::u16string(u"arp -d") : platform::Utf8ToUtf16(configured))};
#else
    return ArpCommand{configured.empty() ? std::u16string(u"ip neigh flush all") : platform::Utf8ToUtf16(configured), u""};
#endif
}

void RunDeleteArp(const ArpCommand& command, const std::u16string& tag)
{
    platform::DebugOutput(tag + u"before ShellExecuteEx.");
    platform::RunHidden(command.program, command.parameters, kArpWaitMs);
    platform::DebugOutput(tag + u"after WaitForSingleObject.");
    platform::SleepMs(kArpSettleMs);
    platform::DebugOutput(tag + u"RunDeleteArp function finish.");
}

}  // namespace web
