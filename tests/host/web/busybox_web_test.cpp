// The router web commands against a real web server: busybox httpd running
// a CGI program that plays the router's web interface on loopback.
#include "busybox_peer.h"
#include "web/router_web_client.h"
#include "web_fixture.h"

namespace {

class BusyboxWeb : public ScaledWebFixture {
protected:
    void SetUp() override
    {
        ScaledWebFixture::SetUp();
        ASSERT_TRUE(peer.Start());
        client = std::make_unique<web::RouterWebClient>("127.0.0.1:" + std::to_string(peer.Port()), QuietArp());
    }
    busybox_peer::BusyboxPeer peer;
    std::unique_ptr<web::RouterWebClient> client;
};

TEST_F(BusyboxWeb, ModeSwitchAndVersion)
{
    ASSERT_TRUE(client->SendDataToGetCurMode());
    EXPECT_EQ(client->WorkModeText(), u"Work mode");
    std::u16string version;
    EXPECT_TRUE(client->SendDataToGetVersion(version));
    EXPECT_EQ(version, u"EN_PELA_BR_KR710MV1.0.0B15");
    EXPECT_TRUE(client->SwitchToFactory());
    EXPECT_TRUE(peer.FactoryMode());
    ASSERT_TRUE(client->SendDataToGetCurMode());
    EXPECT_EQ(client->WorkModeText(), u"Factory mode");
    EXPECT_EQ(peer.RequestBodies(),
              (std::vector<std::string>{"goformId=SwitchFactoryMode&SwitchCMD=Query", "goformId=GetVersion",
                                        "goformId=SwitchFactoryMode&SwitchCMD=Open", "goformId=SwitchFactoryMode&SwitchCMD=Query"}));
}

TEST_F(BusyboxWeb, VersionTextFromTheServer)
{
    ASSERT_TRUE(peer.SetFirmwareVersion("X:Y:EN_PELA_BR_KR710MV1.0.0B16"));
    std::u16string version;
    EXPECT_TRUE(client->SendDataToGetVersion(version));
    EXPECT_EQ(version, u"EN_PELA_BR_KR710MV1.0.0B16");
    ASSERT_TRUE(peer.SetFirmwareVersion("read fail"));
    EXPECT_FALSE(client->SendDataToGetVersion(version));
}

}  // namespace
