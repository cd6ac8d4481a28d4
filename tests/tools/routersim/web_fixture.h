// A simulated web interface on an ephemeral loopback port for each test.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "routersim/router_state.h"
#include "routersim/web_server.h"

class WebServerFixture : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(web.Start("127.0.0.1", 0)); }
    uint16_t Port() const { return web.Port(); }

    // Polls `condition` for up to two seconds.
    static bool Eventually(const std::function<bool()>& condition)
    {
        for (int i = 0; i < 200; ++i) {
            if (condition()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return condition();
    }

    routersim::RouterState state;
    routersim::WebServer web{state};
};
