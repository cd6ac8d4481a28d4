#include "web/router_web_client.h"

#include "platform/debug_output.h"
#include "platform/text.h"
#include "web/http_request.h"

namespace web {
namespace {

std::u16string Upper(std::u16string text)
{
    for (char16_t& c : text) {
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    }
    return text;
}

bool Contains(const std::u16string& text, std::u16string_view part) { return text.find(part) != std::u16string::npos; }

}  // namespace

std::string RouterAddress(const platform::HostPort& router)
{
    return router.port == 80 ? router.host : router.host + ":" + std::to_string(router.port);
}

RouterWebClient::RouterWebClient(std::string routerAddress, ArpCommand arpCommand)
    : routerAddress_(std::move(routerAddress)), arpCommand_(std::move(arpCommand))
{
}

std::string RouterWebClient::CommandUrl() const { return "http://" + routerAddress_ + "/goform/goform_process"; }

void RouterWebClient::RunDeleteArp() { web::RunDeleteArp(arpCommand_, u"KR710 "); }

bool RouterWebClient::Post(const std::u16string& operation, std::u16string& answer)
{
    RunDeleteArp();
    const std::string url = CommandUrl();
    platform::DebugOutput(u"KR710 before  SendRequest in " + operation + u".");
    Request request;
    std::u16string header;
    const bool sent = request.SendRequest(url, currentBody_, header, answer);
    platform::DebugOutput(u"KR710 after  SendRequest in " + operation + u".");
    return sent;
}

bool RouterWebClient::SendDataToGetCurMode()
{
    currentBody_ = kModeQueryBody;
    std::u16string answer;
    if (!Post(u"SendDataToGetCurMode", answer)) {
        workMode_ = u"Invalid mode";
        return true;
    }
    const std::u16string upper = Upper(answer);
    if (Contains(upper, u"FACTORYRESULT:CLOSED")) {
        workMode_ = u"Work mode";
    } else if (Contains(upper, u"FACTORYRESULT:OPENED")) {
        workMode_ = u"Factory mode";
    } else {
        workMode_ = u"Unknown";
    }
    return true;
}

bool RouterWebClient::SwitchToFactory()
{
    currentBody_ = kModeSwitchBody;
    std::u16string answer;
    const std::u16string page = u"http://" + platform::Utf8ToUtf16(routerAddress_);
    if (!Post(u"SwitchToFactory", answer)) {
        platform::DebugOutput(u"KR710 Connect failed ,Please access the web page " + page + u" is Ok?");
        return false;
    }
    const std::u16string upper = Upper(answer);
    if (Contains(upper, u"SUCCESS")) {
        platform::DebugOutput(u"KR710 Convert mode success!");
        return true;
    }
    if (Contains(upper, u"FAILED")) {
        platform::DebugOutput(u"KR710 Convert mode fail!");
    } else {
        platform::DebugOutput(u"KR710 Change failed, Please access the web page " + page + u" is Ok?");
    }
    return false;
}

bool RouterWebClient::SendDataToGetVersion(std::u16string& version)
{
    version.clear();
    currentBody_ = kVersionBody;
    std::u16string answer;
    if (!Post(u"SendDataToGetVersion", answer)) {
        platform::DebugOutput(u"KR710 SendRequest failed in SendDataToGetVersion.");
        return false;
    }
    if (Contains(answer, u"fail")) {
        platform::DebugOutput(u"KR710 get version failed in SendDataToGetVersion.");
        return false;
    }
    const size_t colon = answer.rfind(u':');
    version = colon == std::u16string::npos ? answer : answer.substr(colon + 1);
    if (version.empty()) {
        platform::DebugOutput(u"KR710 get version is null in SendDataToGetVersion.");
        return false;
    }
    platform::DebugOutput(u"KR710 get version successfully in SendDataToGetVersion.");
    return true;
}

}  // namespace web
