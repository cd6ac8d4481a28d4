// The workflow threads with the real web commands against the router
// simulator's web interface on loopback.
#include "dialog_fixture.h"
#include "routersim/router_state.h"
#include "routersim/web_server.h"
#include "web/router_web_client.h"

namespace {

class RoutersimWorkflow : public DialogFixture {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.Start("127.0.0.1", 0));
        client = std::make_unique<web::RouterWebClient>("127.0.0.1:" + std::to_string(server.Port()), web::ArpCommand{u"true", u""});
        web = client.get();
        DialogFixture::SetUp();
        // Real HTTP on loopback needs more than the few real milliseconds
        // that the connect limit lasts at the fixture's usual pace.
        platform::SetTimeScale(100.0);
        router.factoryMode = true;  // the link opens once it is asked to
    }
    void TearDown() override
    {
        DialogFixture::TearDown();
        server.Stop();
    }

    routersim::RouterState state;
    routersim::WebServer server{state};
    std::unique_ptr<web::RouterWebClient> client;
};

TEST_F(RoutersimWorkflow, WorkModeRouterShowsItsVersionAndEnablesUpdate)
{
    ASSERT_EQ(Start(), app::CUIMainModuleDlg::InitOutcome::kRunning);
    ASSERT_TRUE(WaitReady());
    ASSERT_TRUE(view.WaitUntil([&] { return view.Text(IDC_VERSION_FIELD) == u"NAME:EN_PELA_BR_KR710MV1.0.0B15"; }));
    view.Call([&] { EXPECT_EQ(dialog->Slot(0).version, u"EN_PELA_BR_KR710MV1.0.0B15"); });
    EXPECT_GE(server.Counters().modeQueries, 1);
    EXPECT_GE(server.Counters().versions, 1);
    EXPECT_EQ(server.Counters().switches, 0);
    EXPECT_EQ(router.initPortCalls, 0);
}

TEST_F(RoutersimWorkflow, RefusedSwitchIsTriedTenTimesTwoSecondsApart)
{
    server.RefuseSwitches(100);
    ASSERT_EQ(Start(), app::CUIMainModuleDlg::InitOutcome::kRunning);
    ASSERT_TRUE(WaitReady());
    const uint64_t pressed = platform::MonotonicMs();
    PressUpdate();
    ASSERT_TRUE(view.WaitUntil([&] { return router.initPortCalls > 0; }, std::chrono::seconds(60)));
    const uint64_t switching = platform::MonotonicMs() - pressed;
    EXPECT_EQ(server.Counters().switches, 10);
    // Ten requests, each after a one-second ARP flush, nine pauses of 2000 ms.
    EXPECT_GE(switching, 10 * 1000u + 9 * 2000u);
    EXPECT_LT(switching, 10 * 1000u + 9 * 2000u + 15000u);
    ASSERT_TRUE(view.WaitUntil([&] { return view.closeRequests == 1; }, std::chrono::seconds(60)));
    EXPECT_EQ(router.downloadCalls, 1);
    EXPECT_FALSE(state.FactoryMode());
}

TEST_F(RoutersimWorkflow, AcceptedSwitchPutsTheSimulatorInFactoryMode)
{
    ASSERT_EQ(Start(), app::CUIMainModuleDlg::InitOutcome::kRunning);
    ASSERT_TRUE(WaitReady());
    PressUpdate();
    ASSERT_TRUE(view.WaitUntil([&] { return view.closeRequests == 1; }, std::chrono::seconds(60)));
    EXPECT_EQ(server.Counters().switches, 1);
    EXPECT_TRUE(state.FactoryMode());
    EXPECT_EQ(dialog->DownloadResult(), 0);
    // The version was read again over the web after the download.
    view.Call([&] { EXPECT_EQ(dialog->Slot(0).version, u"EN_PELA_BR_KR710MV1.0.0B15"); });
}

}  // namespace
