// The router's web commands as the workflow threads use them.
#pragma once

#include <string>

namespace web {

class RouterWebCommands {
public:
    virtual ~RouterWebCommands() = default;
    // Queries the router's mode and stores the work mode text; always true.
    virtual bool SendDataToGetCurMode() = 0;
    // "Work mode", "Factory mode", "Unknown" or "Invalid mode".
    virtual std::u16string WorkModeText() const = 0;
    // Empties `version` first; true when a non-empty version was read.
    virtual bool SendDataToGetVersion(std::u16string& version) = 0;
    // True when the router confirmed the switch to factory mode.
    virtual bool SwitchToFactory() = 0;
    virtual void RunDeleteArp() = 0;
};

}  // namespace web
