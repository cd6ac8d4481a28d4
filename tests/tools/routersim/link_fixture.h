// A link side in factory mode on an ephemeral loopback UDP port for each
// test, and the host stand-in that it connects to.
#pragma once

#include <gtest/gtest.h>

#include <functional>

#include "link_host_standin.h"
#include "routersim/link_peer.h"
#include "routersim/router_state.h"
#include "../../host/support/poll_until.h"

class LinkPeerFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        state.SetFactoryMode(true);
        ASSERT_TRUE(peer.Start(state, "127.0.0.1", 0));
        ASSERT_NE(peer.Port(), 0);
        ASSERT_TRUE(host.Listening());
    }

    // Announces the stand-in and accepts the link side's connection.
    void Connect()
    {
        ASSERT_TRUE(host.Announce(peer.Port()));
        ASSERT_TRUE(host.Accept());
        ASSERT_TRUE(testing_support::PollUntil([&] { return peer.Connected(); }));
    }

    void SetFaults(const std::function<void(routersim::LinkFaults&)>& change)
    {
        routersim::LinkFaults faults = peer.Faults();
        change(faults);
        peer.SetFaults(faults);
    }

    routersim::RouterState state;
    routersim::LinkPeer peer;
    routersim_test::HostStandIn host;
};
