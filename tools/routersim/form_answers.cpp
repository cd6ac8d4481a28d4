#include "routersim/form_answers.h"

#include <algorithm>
#include <cctype>

namespace routersim {
namespace {

std::string_view Field(const FormFields& fields, std::string_view name)
{
    const auto found = fields.find(name);
    return found == fields.end() ? std::string_view() : std::string_view(found->second);
}

std::string InFaultCase(std::string text, WebFault fault)
{
    if (fault == WebFault::kLowerCase) {
        std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    }
    return text;
}

}  // namespace

FormCommand ClassifyForm(const FormFields& fields)
{
    const std::string_view id = Field(fields, "goformId");
    if (id == "GetVersion") return FormCommand::kVersion;
    if (id != "SwitchFactoryMode") return FormCommand::kOther;
    const std::string_view command = Field(fields, "SwitchCMD");
    if (command == "Query") return FormCommand::kModeQuery;
    if (command == "Open") return FormCommand::kSwitchOpen;
    return FormCommand::kOther;
}

std::string_view FormCommandName(FormCommand command)
{
    switch (command) {
    case FormCommand::kModeQuery: return "mode query";
    case FormCommand::kSwitchOpen: return "switch";
    case FormCommand::kVersion: return "version";
    case FormCommand::kOther: break;
    }
    return "other";
}

std::string ModeQueryAnswer(bool factoryMode, WebFault fault)
{
    if (fault == WebFault::kFail) return "FACTORYRESULT:ERROR";
    return InFaultCase(factoryMode ? "FACTORYRESULT:OPENED" : "FACTORYRESULT:CLOSED", fault);
}

std::string SwitchAnswer(bool switched, WebFault fault)
{
    return InFaultCase(switched ? "SUCCESS" : "FAILED", fault);
}

std::string VersionAnswer(std::string_view version, WebFault fault)
{
    if (fault == WebFault::kFail) return "get version fail";
    return "SW_VERSION:" + std::string(version);
}

std::string OtherFormAnswer(WebFault fault)
{
    return InFaultCase("FAILED", fault);
}

}  // namespace routersim
