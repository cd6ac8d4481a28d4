// The rendezvous server under four busy sessions and fifty extra
// connections: the sessions keep their replies apart, no more than four
// sessions are counted, the extra connections wait unaccepted, and once the
// routers leave and the waiting connections are cleared the count is back
// at zero and new routers connect.
#include <gtest/gtest.h>

#include "rendezvous_load.h"
#include "../support/test_env.h"

namespace {

using link_load::LoadFigures;
using link_load::SessionFigures;

void ExpectAllCorrect(const SessionFigures& session, int rounds, int slot)
{
    SCOPED_TRACE("session " + std::to_string(slot));
    EXPECT_EQ(session.requests, rounds);
    EXPECT_EQ(session.correctReplies, rounds);
    EXPECT_EQ(session.wrongReplies, 0);
    EXPECT_EQ(session.unanswered, 0);
}

TEST(RendezvousLoad, FourSessionsAndFiftyExtraConnections)
{
    link_load::LoadSettings settings;
    settings.rounds = 40;
    settings.burstConnections = 25;
    settings.spreadConnections = 25;
    settings.spreadGapMs = 20;
    settings.roundsAgain = 5;
    const std::u16string folder = testing_support::UsePrivateTempFolder("rendezvous-load");
    settings.logFolder = folder.substr(0, folder.size() - 1);

    const LoadFigures figures = link_load::RunRendezvousLoad(settings);
    ASSERT_TRUE(figures.serverStarted);
    ASSERT_EQ(figures.routersOpened, devlink::kSessionSlots);
    for (int slot = 0; slot < devlink::kSessionSlots; ++slot) ExpectAllCorrect(figures.sessions[slot], settings.rounds, slot);

    // The system queues the extra connections; the server takes none of
    // them while four sessions are counted (checked once it has looked at
    // its listener after the last one came), and announces nothing: the
    // one announcement allowed is the one that may have been on its way
    // when the fourth session was counted (that none comes while four are
    // counted is Server.FifthConnectionWaitsWhileFourSessionsAreCounted, on
    // a driven clock).
    EXPECT_EQ(figures.extrasTried, 50);
    EXPECT_EQ(figures.extrasConnected, 50);
    EXPECT_EQ(figures.extrasRefused, 0);
    ExpectAllCorrect(figures.afterExtras, 2, 0);
    EXPECT_EQ(figures.extrasServed, 0);
    EXPECT_EQ(figures.minSessionCount, devlink::kSessionSlots);
    EXPECT_EQ(figures.maxSessionCount, devlink::kSessionSlots);
    EXPECT_EQ(figures.maxAcceptedWaiting, 0u);
    EXPECT_LE(figures.announcementsWhileFull, 1);

    // Room made: the waiting connections are accepted in turn and cleared
    // by claiming them; then nothing is counted and announcements resume.
    EXPECT_TRUE(figures.slotsFreedWhenRoutersLeft);
    EXPECT_EQ(figures.waitingClaimedAfterwards, 50);
    EXPECT_EQ(figures.sessionCountAfterClaims, 0);
    EXPECT_EQ(figures.acceptedAfterClaims, 0u);
    EXPECT_GT(figures.announcementsAfterwards, 0);

    ASSERT_EQ(figures.routersOpenedAgain, devlink::kSessionSlots);
    for (int slot = 0; slot < devlink::kSessionSlots; ++slot) ExpectAllCorrect(figures.sessionsAgain[slot], settings.roundsAgain, slot);
    EXPECT_EQ(figures.sessionCountAtEnd, 0);
    EXPECT_EQ(figures.acceptedAtEnd, 0u);

    // Nothing of the run stays behind once the server is gone.
    EXPECT_LE(figures.after.threads, figures.before.threads + testing_support::kSanitizerThreads);
    EXPECT_GE(figures.after.threads, figures.before.threads);
    EXPECT_EQ(figures.after.descriptors, figures.before.descriptors);
    EXPECT_EQ(figures.after.sockets, figures.before.sockets);
}

}  // namespace
