// Web client tests run with time 100 times faster and an ARP flush command
// that does nothing.
#pragma once

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "web/arp_flush.h"

class WebFixture : public ::testing::Test {
protected:
    void SetUp() override { platform::SetTimeScale(100.0); }
    void TearDown() override { platform::SetTimeScale(1.0); }
    static web::ArpCommand QuietArp() { return web::ArpCommand{u"true", u""}; }
};
