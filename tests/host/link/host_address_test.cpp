#include "link/host_address.h"
#include "platform/tcp_socket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

constexpr uint32_t Address(uint8_t a, uint8_t b, uint8_t c, uint8_t d)
{
    return static_cast<uint32_t>(a) | static_cast<uint32_t>(b) << 8 | static_cast<uint32_t>(c) << 16 | static_cast<uint32_t>(d) << 24;
}

const uint32_t kRouter = Address(192, 168, 1, 1);
const uint32_t kWifi = Address(192, 168, 0, 100);
const uint32_t kLan = Address(192, 168, 1, 100);

bool Mentions(const devlink::HostAddressChoice& choice, const std::string& text)
{
    return std::any_of(choice.diagnostics.begin(), choice.diagnostics.end(),
                       [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

TEST(HostAddressChoice, TheRoutesAddressWinsOverAnEarlierAdapterOnAnotherPrivateNetwork)
{
    const std::vector<platform::LocalAddress> locals{{Address(127, 0, 0, 1), "lo"}, {kWifi, "Wi-Fi"}, {kLan, "Ethernet"}};
    const devlink::HostAddressChoice choice = devlink::ChooseHostAddress(locals, kRouter, kLan, "192.168");
    EXPECT_EQ(choice.address, kLan);
    EXPECT_EQ(choice.adapter, "Ethernet");
    EXPECT_TRUE(Mentions(choice, "KR710 device ip is 192.168.0.100."));
    EXPECT_TRUE(Mentions(choice, "route to router 192.168.1.1 leaves by 192.168.1.100 (adapter Ethernet)"));
    EXPECT_TRUE(Mentions(choice, "KR710 get host ip success by 192.168."));
}

TEST(HostAddressChoice, ARouteOutsideTheFilterOrNoRouteFallsBackToTheFirstAddressThatPasses)
{
    const std::vector<platform::LocalAddress> locals{{Address(10, 0, 0, 5), "Wi-Fi"}, {kLan, "Ethernet"}, {kWifi, "USB"}};
    const devlink::HostAddressChoice viaDefault = devlink::ChooseHostAddress(locals, kRouter, Address(10, 0, 0, 5), "192.168");
    EXPECT_EQ(viaDefault.address, kLan);
    EXPECT_EQ(viaDefault.adapter, "Ethernet");
    EXPECT_TRUE(Mentions(viaDefault, "leaves by 10.0.0.5, which does not contain \"192.168\""));
    const devlink::HostAddressChoice noRoute = devlink::ChooseHostAddress(locals, kRouter, 0, "192.168");
    EXPECT_EQ(noRoute.address, kLan);
    EXPECT_TRUE(Mentions(noRoute, "no route to router 192.168.1.1"));
}

TEST(HostAddressChoice, NothingPassingTheFilterAnnouncesNothing)
{
    const std::vector<platform::LocalAddress> locals{{Address(10, 0, 0, 5), "Wi-Fi"}};
    const devlink::HostAddressChoice choice = devlink::ChooseHostAddress(locals, kRouter, Address(10, 0, 0, 5), "192.168");
    EXPECT_EQ(choice.address, 0u);
    EXPECT_EQ(choice.diagnostics.back(), "KR710 get host ip fail");
    EXPECT_EQ(devlink::ChooseHostAddress({}, 0, 0, "192.168").address, 0u);
}

TEST(HostAddressChoice, ARouteAddressMissingFromTheHostsListIsStillTaken)
{
    // The host name's list on Windows leaves out loopback and some adapters.
    const devlink::HostAddressChoice choice = devlink::ChooseHostAddress({{kWifi, "Wi-Fi"}}, kRouter, kLan, "192.168");
    EXPECT_EQ(choice.address, kLan);
    EXPECT_EQ(choice.adapter, "");
    EXPECT_TRUE(Mentions(choice, "(adapter unknown)"));
}

// The real question to the system, on loopback: WinSock under Wine and
// Linux answer it alike.
TEST(RouteSourceAddress, TheSystemAnswersWithTheLocalAddressOfTheRoute)
{
    ASSERT_TRUE(platform::StartNetworking());
    EXPECT_EQ(platform::RouteSourceAddress(Address(127, 0, 0, 1)), Address(127, 0, 0, 1));
#ifndef _WIN32
    const std::vector<platform::LocalAddress> locals = platform::LocalIPv4Addresses();
    EXPECT_TRUE(std::any_of(locals.begin(), locals.end(),
                            [](const platform::LocalAddress& local) { return local.address == Address(127, 0, 0, 1) && !local.adapter.empty(); }));
#endif
}

}  // namespace
