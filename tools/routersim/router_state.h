// The simulated router's state that its web interface and its link side
// share: whether it is in factory mode and which firmware it runs.
#pragma once

#include <mutex>
#include <string>

namespace routersim {

inline constexpr const char* kDefaultFirmwareVersion = "EN_PELA_BR_KR710MV1.0.0B15";

class RouterState {
public:
    bool FactoryMode() const;
    void SetFactoryMode(bool on);
    std::string FirmwareVersion() const;
    void SetFirmwareVersion(std::string version);

private:
    mutable std::mutex mutex_;
    bool factoryMode_ = false;
    std::string firmwareVersion_ = kDefaultFirmwareVersion;
};

}  // namespace routersim
