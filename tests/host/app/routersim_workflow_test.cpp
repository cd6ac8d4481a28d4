// The workflow threads with the real web commands against the router
// simulator's web interface on loopback. The simulator answers in real
// time, not on a clock the test could drive, so these run on real time
// scaled by 5: the shortest window of the host (100 ms) still lasts 20 ms.
#include <mutex>
#include <vector>

#include "dialog_fixture.h"
#include "routersim/router_state.h"
#include "routersim/web_server.h"
#include "web/router_web_client.h"

namespace {

constexpr double kTimeScale = 5.0;

// The real web commands, with the clock time at which each switch request
// began and ended.
class TimedSwitches : public web::RouterWebCommands {
public:
    struct Span {
        uint64_t startMs = 0;
        uint64_t endMs = 0;
    };

    explicit TimedSwitches(web::RouterWebCommands& inner) : inner_(inner) {}

    bool SendDataToGetCurMode() override { return inner_.SendDataToGetCurMode(); }
    std::u16string WorkModeText() const override { return inner_.WorkModeText(); }
    bool SendDataToGetVersion(std::u16string& version) override { return inner_.SendDataToGetVersion(version); }
    bool SwitchToFactory() override
    {
        Span span;
        span.startMs = platform::MonotonicMs();
        const bool switched = inner_.SwitchToFactory();
        span.endMs = platform::MonotonicMs();
        std::lock_guard<std::mutex> lock(mutex_);
        switches_.push_back(span);
        return switched;
    }
    void RunDeleteArp() override { inner_.RunDeleteArp(); }

    std::vector<Span> Switches()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return switches_;
    }

private:
    web::RouterWebCommands& inner_;
    std::mutex mutex_;
    std::vector<Span> switches_;
};

class RoutersimWorkflow : public DialogFixture {
protected:
    RoutersimWorkflow() : DialogFixture(false) {}

    void SetUp() override
    {
        platform::SetTimeScale(kTimeScale);
        ASSERT_TRUE(server.Start("127.0.0.1", 0));
        client = std::make_unique<web::RouterWebClient>("127.0.0.1:" + std::to_string(server.Port()), web::ArpCommand{u"true", u""});
        timed = std::make_unique<TimedSwitches>(*client);
        web = timed.get();
        DialogFixture::SetUp();
        router.factoryMode = true;  // the link opens once it is asked to
    }
    void TearDown() override
    {
        DialogFixture::TearDown();
        server.Stop();
        platform::SetTimeScale(1.0);
    }

    routersim::RouterState state;
    routersim::WebServer server{state};
    std::unique_ptr<web::RouterWebClient> client;
    std::unique_ptr<TimedSwitches> timed;
};

TEST_F(RoutersimWorkflow, WorkModeRouterShowsItsVersionAndEnablesUpdate)
{
    ASSERT_EQ(Start(), app::CUIMainModuleDlg::InitOutcome::kRunning);
    ASSERT_TRUE(WaitReady());
    ASSERT_TRUE(RunUntil([&] { return view.Text(IDC_VERSION_FIELD) == u"NAME:EN_PELA_BR_KR710MV1.0.0B15"; }));
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
    PressUpdate();
    ASSERT_TRUE(RunUntil([&] { return router.initPortCalls > 0; }));
    EXPECT_EQ(server.Counters().switches, 10);
    // Ten requests, each after a one-second ARP flush, 2000 ms apart. How
    // long a request takes beyond its flush depends on the machine's load
    // (a process is started for the flush); the pauses between them do not.
    const std::vector<TimedSwitches::Span> switches = timed->Switches();
    ASSERT_EQ(switches.size(), 10u);
    for (size_t i = 0; i < switches.size(); ++i) {
        SCOPED_TRACE("switch request " + std::to_string(i + 1));
        EXPECT_GE(switches[i].endMs - switches[i].startMs, 1000u);
        if (i == 0) continue;
        const uint64_t pause = switches[i].startMs - switches[i - 1].endMs;
        EXPECT_GE(pause, 2000u);
        EXPECT_LT(pause, 2 * 2000u);
    }
    ASSERT_TRUE(RunUntil([&] { return view.closeRequests == 1; }));
    EXPECT_EQ(router.downloadCalls, 1);
    EXPECT_FALSE(state.FactoryMode());
}

TEST_F(RoutersimWorkflow, AcceptedSwitchPutsTheSimulatorInFactoryMode)
{
    ASSERT_EQ(Start(), app::CUIMainModuleDlg::InitOutcome::kRunning);
    ASSERT_TRUE(WaitReady());
    PressUpdate();
    ASSERT_TRUE(RunUntil([&] { return view.closeRequests == 1; }));
    EXPECT_EQ(server.Counters().switches, 1);
    EXPECT_TRUE(state.FactoryMode());
    EXPECT_EQ(dialog->DownloadResult(), 0);
    // The version was read again over the web after the download.
    view.Call([&] { EXPECT_EQ(dialog->Slot(0).version, u"EN_PELA_BR_KR710MV1.0.0B15"); });
}

}  // namespace
