#include "routersim/router_state.h"

namespace routersim {

bool RouterState::FactoryMode() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return factoryMode_;
}

void RouterState::SetFactoryMode(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    factoryMode_ = on;
}

std::string RouterState::FirmwareVersion() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return firmwareVersion_;
}

void RouterState::SetFirmwareVersion(std::string version)
{
    std::lock_guard<std::mutex> lock(mutex_);
    firmwareVersion_ = std::move(version);
}

}  // namespace routersim
