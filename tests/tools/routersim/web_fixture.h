// A simulated web interface on an ephemeral loopback port for each test.
#pragma once

#include <gtest/gtest.h>

#include "routersim/router_state.h"
#include "routersim/web_server.h"
#include "../../host/support/poll_until.h"

class WebServerFixture : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(web.Start("127.0.0.1", 0)); }
    uint16_t Port() const { return web.Port(); }

    routersim::RouterState state;
    routersim::WebServer web{state};
};
