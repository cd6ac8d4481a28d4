// Web client tests and an ARP flush command that does nothing.
//
// WebFixture: against peers in this process (the scripted server), on a
// clock the test drives. Time runs whenever every thread waits and nothing
// is under way between the client and the server (no byte, and no end of an
// answer that the client has not seen yet), so a limit of 30 s is waited
// out at once, and exactly, however loaded the machine is.
//
// ScaledWebFixture: against a peer in another process (busybox httpd
// running a shell CGI program), whose pace no clock of this process can
// hold, with time twice as fast: the router's answer may take 15 s of real
// time (the 30 s silence limit), and the flush's pause before each command
// lasts 500 ms.
#pragma once

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "scripted_http_server.h"
#include "web/arp_flush.h"
#include "../support/driven_clock.h"

class WebFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The test thread calls the client itself: known to the clock from
        // here on (it waits once, for no time), it holds time while it runs
        // and lets it run while it waits.
        platform::SleepMs(0);
        clock.AddSettledCondition([] { return ScriptedHttpServer::ClosingConnections() == 0; });
        clock.RunFreely();
    }
    static web::ArpCommand QuietArp() { return web::ArpCommand{u"true", u""}; }

    // Before (and so outliving) every object whose threads wait on it.
    testing_support::DrivenClock clock;
};

class ScaledWebFixture : public ::testing::Test {
protected:
    void SetUp() override { platform::SetTimeScale(2.0); }
    void TearDown() override { platform::SetTimeScale(1.0); }
    static web::ArpCommand QuietArp() { return web::ArpCommand{u"true", u""}; }
};
