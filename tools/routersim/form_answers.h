// What the router's form handler at /goform/goform_process answers, command
// by command. Only the answer text is made here; the web server applies the
// state change a switch brings.
#pragma once

#include <string>
#include <string_view>

#include "routersim/form_fields.h"
#include "routersim/web_fault.h"

namespace routersim {

enum class FormCommand {
    kModeQuery,   // goformId=SwitchFactoryMode&SwitchCMD=Query
    kSwitchOpen,  // goformId=SwitchFactoryMode&SwitchCMD=Open
    kVersion,     // goformId=GetVersion
    kOther,
};

FormCommand ClassifyForm(const FormFields& fields);
std::string_view FormCommandName(FormCommand command);

// "FACTORYRESULT:OPENED" in factory mode, "FACTORYRESULT:CLOSED" in work mode.
std::string ModeQueryAnswer(bool factoryMode, WebFault fault);
// "SUCCESS" when the router switched to factory mode, "FAILED" otherwise.
std::string SwitchAnswer(bool switched, WebFault fault);
// "SW_VERSION:<version>"; the client takes the text after the last colon.
std::string VersionAnswer(std::string_view version, WebFault fault);
// Any other form is refused with "FAILED".
std::string OtherFormAnswer(WebFault fault);

}  // namespace routersim
