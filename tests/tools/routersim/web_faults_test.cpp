#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>

#include "raw_http_client.h"
#include "web_fixture.h"

using namespace routersim_test;
using routersim::WebFault;
using WebFaultTest = WebServerFixture;

TEST_F(WebFaultTest, LowerCaseAnswersInLowerCaseButTheVersion)
{
    ASSERT_TRUE(web.SetFault(WebFault::kLowerCase));
    EXPECT_EQ(PostForm(Port(), kModeQuery), "factoryresult:closed");
    web.RefuseSwitches(1);
    EXPECT_EQ(PostForm(Port(), kSwitchOpen), "failed");
    EXPECT_EQ(PostForm(Port(), kSwitchOpen), "success");
    EXPECT_EQ(PostForm(Port(), kModeQuery), "factoryresult:opened");
    EXPECT_EQ(PostForm(Port(), kGetVersion), "SW_VERSION:EN_PELA_BR_KR710MV1.0.0B15");
}

TEST_F(WebFaultTest, FailFailsEveryCommand)
{
    ASSERT_TRUE(web.SetFault(WebFault::kFail));
    EXPECT_EQ(PostForm(Port(), kModeQuery), "FACTORYRESULT:ERROR");
    EXPECT_EQ(PostForm(Port(), kSwitchOpen), "FAILED");
    EXPECT_FALSE(state.FactoryMode());
    EXPECT_EQ(PostForm(Port(), kGetVersion), "get version fail");
    EXPECT_EQ(web.Counters().switches, 1);
}

TEST_F(WebFaultTest, FailDoesNotUseUpRefusedSwitches)
{
    web.RefuseSwitches(1);
    ASSERT_TRUE(web.SetFault(WebFault::kFail));
    EXPECT_EQ(PostForm(Port(), kSwitchOpen), "FAILED");
    ASSERT_TRUE(web.SetFault(WebFault::kNone));
    EXPECT_EQ(PostForm(Port(), kSwitchOpen), "FAILED");
    EXPECT_EQ(PostForm(Port(), kSwitchOpen), "SUCCESS");
}

TEST_F(WebFaultTest, SilentReadsTheRequestAndNeverAnswers)
{
    ASSERT_TRUE(web.SetFault(WebFault::kSilent));
    const routersim::UniqueFd fd = ConnectLoopback(Port());
    ASSERT_TRUE(fd.Valid());
    ASSERT_TRUE(SendBytes(fd.Get(), FormRequest(kSwitchOpen)));
    // The request is counted after the fault it is served with was read:
    // from here on it is held without an answer until the server stops.
    ASSERT_TRUE(testing_support::PollUntil([&] { return web.Counters().switches == 1; }));
    EXPECT_TRUE(OpenAndQuiet(fd.Get()));
    EXPECT_FALSE(state.FactoryMode());

    ASSERT_TRUE(web.SetFault(WebFault::kNone));
    EXPECT_EQ(PostForm(Port(), kModeQuery), "FACTORYRESULT:CLOSED");
    EXPECT_TRUE(OpenAndQuiet(fd.Get()));

    const auto begin = std::chrono::steady_clock::now();
    web.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(20));
    // Closed then, and not a byte of an answer came before.
    EXPECT_EQ(ReadUntilClosed(fd.Get()), "");
}

TEST_F(WebFaultTest, CloseEarlyClosesWithoutAnAnswer)
{
    ASSERT_TRUE(web.SetFault(WebFault::kCloseEarly));
    EXPECT_EQ(Exchange(Port(), FormRequest(kSwitchOpen)), "");
    EXPECT_FALSE(state.FactoryMode());
    EXPECT_EQ(web.Counters().switches, 1);
}

TEST_F(WebFaultTest, CloseMidHeaderCutsTheHeader)
{
    ASSERT_TRUE(web.SetFault(WebFault::kCloseMidHeader));
    const auto response = Exchange(Port(), FormRequest(kModeQuery));
    EXPECT_EQ(response, "HTTP/1.0 200 OK\r\nContent-Ty");
    ASSERT_TRUE(response);
    EXPECT_EQ(BodyOf(*response), std::nullopt);
}

TEST_F(WebFaultTest, RefuseRefusesConnectionsAndListensAgainOnTheSamePort)
{
    const uint16_t port = Port();
    ASSERT_TRUE(web.SetFault(WebFault::kRefuse));
    const routersim::UniqueFd refused = ConnectLoopback(port);
    EXPECT_FALSE(refused.Valid());
    EXPECT_EQ(errno, ECONNREFUSED);

    ASSERT_TRUE(web.SetFault(WebFault::kNone));
    EXPECT_EQ(web.Port(), port);
    EXPECT_EQ(PostForm(port, kModeQuery), "FACTORYRESULT:CLOSED");
}

TEST_F(WebFaultTest, RefuseWhileAConnectionIsOpen)
{
    ASSERT_TRUE(web.SetFault(WebFault::kSilent));
    const routersim::UniqueFd silent = ConnectLoopback(Port());
    ASSERT_TRUE(silent.Valid());
    ASSERT_TRUE(SendBytes(silent.Get(), FormRequest(kModeQuery)));
    ASSERT_TRUE(testing_support::PollUntil([&] { return web.Counters().modeQueries == 1; }));

    ASSERT_TRUE(web.SetFault(WebFault::kRefuse));
    EXPECT_FALSE(ConnectLoopback(Port()).Valid());
    ASSERT_TRUE(web.SetFault(WebFault::kRefuse));
    ASSERT_TRUE(web.SetFault(WebFault::kNone));
    EXPECT_EQ(PostForm(Port(), kGetVersion), "SW_VERSION:EN_PELA_BR_KR710MV1.0.0B15");
}

TEST(WebFaultStart, StartsRefusingAndListensWhenTheFaultEnds)
{
    routersim::RouterState state;
    routersim::WebServer web(state);
    ASSERT_TRUE(web.SetFault(WebFault::kRefuse));
    ASSERT_TRUE(web.Start("127.0.0.1", 0));
    ASSERT_NE(web.Port(), 0);
    EXPECT_FALSE(ConnectLoopback(web.Port()).Valid());
    ASSERT_TRUE(web.SetFault(WebFault::kLowerCase));
    EXPECT_EQ(PostForm(web.Port(), kModeQuery), "factoryresult:closed");
}

TEST(WebFaultNames, RoundTrip)
{
    for (const WebFault fault : {WebFault::kNone, WebFault::kLowerCase, WebFault::kFail, WebFault::kSilent, WebFault::kCloseEarly,
                                 WebFault::kCloseMidHeader, WebFault::kRefuse}) {
        EXPECT_EQ(routersim::ParseWebFault(routersim::WebFaultName(fault)), fault);
    }
    EXPECT_EQ(routersim::ParseWebFault("close-mid-header"), WebFault::kCloseMidHeader);
    EXPECT_EQ(routersim::ParseWebFault("Silent"), std::nullopt);
}
