#include "rendezvous_load.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "../support/loopback_address.h"
#include "../support/poll_until.h"
#include "fake_device.h"
#include "link/net_serial.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/tcp_socket.h"
#include "platform/udp_socket.h"

namespace link_load {
namespace {

using Clock = std::chrono::steady_clock;
using devlink::CNetSerial;
using devlink::CSockProducer;
using devlink::kSessionSlots;
using testing_support::PollUntil;
using testing_support::SampleProcessResources;

constexpr auto kReplyLimit = std::chrono::seconds(5);
constexpr auto kSettleLimit = std::chrono::seconds(10);
constexpr auto kPollPause = std::chrono::microseconds(200);
// Scaled milliseconds a connection attempt may take.
constexpr uint32_t kConnectLimitMs = 100000;
constexpr uint8_t kFirstRouterTag = 0xA0;
constexpr uint8_t kNewRouterTag = 0xB0;

using Ports = std::array<std::unique_ptr<CNetSerial>, kSessionSlots>;
using Routers = std::vector<std::unique_ptr<FakeDevice>>;

uint32_t ReadWord(const devlink::LinkBlock& block, size_t at)
{
    uint32_t word = 0;
    for (size_t i = 0; i < 4; ++i) word |= static_cast<uint32_t>(block[at + i]) << (8 * i);
    return word;
}

// A router that answers CMD_IP_MAC, and every data block with its own tag
// followed by the data it got.
FakeDevice::Responder RouterAnswers(uint8_t tag)
{
    return [tag](const SeenBlock& seen) -> std::optional<devlink::LinkBlock> {
        if (seen.type == devlink::kCmdIpMac) return DeviceBlock(devlink::kCmdIpMac, seen.seq);
        if (seen.type != devlink::kCmdData) return std::nullopt;
        const uint32_t length = std::min<uint32_t>(ReadWord(seen.bytes, 1359), devlink::kDataCapacity - 1);
        std::vector<uint8_t> data(length + 1, tag);
        std::copy_n(seen.bytes.begin() + 9, length, data.begin() + 1);
        return DeviceBlock(devlink::kCmdData, seen.seq, data, static_cast<uint32_t>(data.size()));
    };
}

std::vector<uint8_t> RoundData(int slot, int round)
{
    std::vector<uint8_t> data(8 + static_cast<size_t>(round % 32));
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(slot * 31 + round * 7 + static_cast<int>(i));
    return data;
}

// Data blocks through the port, one at a time, each reply checked.
void ExchangeBlocks(CNetSerial& port, int slot, uint8_t tag, int rounds, SessionFigures& figures)
{
    for (int round = 0; round < rounds; ++round) {
        ++figures.requests;
        const std::vector<uint8_t> data = RoundData(slot, round);
        const Clock::time_point deadline = Clock::now() + kReplyLimit;
        const bool posted = PollUntil(deadline, [&] { return port.WriteData(data.data(), data.size()) != 0; }, kPollPause);
        if (!posted || !PollUntil(deadline, [&] { return port.ReplyReady(); }, kPollPause)) {
            ++figures.unanswered;
            continue;
        }
        uint8_t reply[devlink::kDataCapacity];
        const size_t got = port.TakeData(reply, sizeof reply);
        const bool correct = got == data.size() + 1 && reply[0] == tag && std::equal(data.begin(), data.end(), reply + 1);
        ++(correct ? figures.correctReplies : figures.wrongReplies);
    }
}

// Every session exchanges its blocks at the same time.
void ExchangeOnAllPorts(Ports& ports, uint8_t firstTag, int rounds, std::array<SessionFigures, kSessionSlots>& figures)
{
    std::vector<std::thread> threads;
    for (int slot = 0; slot < kSessionSlots; ++slot) {
        threads.emplace_back([&, slot] {
            ExchangeBlocks(*ports[slot], slot, static_cast<uint8_t>(firstTag + slot), rounds, figures[slot]);
        });
    }
    for (std::thread& thread : threads) thread.join();
}

// A router for each slot in turn, claimed by the slot's port; how many ports opened.
int ConnectRouters(CSockProducer& server, Ports& ports, Routers& routers, uint8_t firstTag)
{
    int opened = 0;
    for (int slot = 0; slot < kSessionSlots; ++slot) {
        routers.push_back(std::make_unique<FakeDevice>(server.ListenPort(), RouterAnswers(static_cast<uint8_t>(firstTag + slot))));
        if (!PollUntil(Clock::now() + kSettleLimit, [&] { return server.AcceptedCount() == 1; }, kPollPause)) continue;
        if (ports[slot]->InitPort(slot) == 1) ++opened;
    }
    return opened;
}

int DrainAnnouncements(platform::UdpSocket& receiver)
{
    int count = 0;
    uint8_t datagram[2000];
    size_t received = 0;
    while (receiver.ReceiveFrom(datagram, sizeof datagram, received, 0)) ++count;
    return count;
}

struct ExtraConnection {
    platform::TcpSocket socket;
    bool connected = false;
};

void ConnectExtra(ExtraConnection& extra, uint16_t port)
{
    extra.connected = extra.socket.Open() && extra.socket.Connect(testing_support::LoopbackAddress(), port, kConnectLimitMs);
}

// The first `burst` connect at the same moment, the rest one by one.
void ConnectExtras(std::vector<ExtraConnection>& extras, int burst, int gapMs, uint16_t port)
{
    std::vector<std::thread> threads;
    for (int i = 0; i < burst; ++i) threads.emplace_back([&extras, i, port] { ConnectExtra(extras[static_cast<size_t>(i)], port); });
    for (std::thread& thread : threads) thread.join();
    for (size_t i = static_cast<size_t>(burst); i < extras.size(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
        ConnectExtra(extras[i], port);
    }
}

// The extra connections and the four sessions at once, with the session
// count and the accepted list watched throughout.
void RunUnderLoad(const LoadSettings& settings, CSockProducer& server, Ports& ports, platform::UdpSocket& announcements,
                  std::vector<ExtraConnection>& extras, LoadFigures& figures)
{
    figures.extrasTried = static_cast<int>(extras.size());
    std::atomic<bool> watching{true};
    figures.minSessionCount = server.SessionCount();
    figures.maxSessionCount = figures.minSessionCount;
    std::thread watcher([&] {
        while (watching) {
            const int32_t count = server.SessionCount();
            figures.minSessionCount = std::min(figures.minSessionCount, count);
            figures.maxSessionCount = std::max(figures.maxSessionCount, count);
            figures.maxAcceptedWaiting = std::max(figures.maxAcceptedWaiting, server.AcceptedCount());
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::thread connector([&] { ConnectExtras(extras, settings.burstConnections, settings.spreadGapMs, server.ListenPort()); });
    ExchangeOnAllPorts(ports, kFirstRouterTag, settings.rounds, figures.sessions);
    connector.join();
    // Every extra connection now waits in the listen queue. The reply to
    // the second of two more blocks is read in a pass of the server's
    // receive loop that began after the first reply was read, so after
    // the last connection was made: a server that accepted while four
    // sessions are counted would have taken one by then, and the accepted
    // list and the count keep what it took (nobody claims meanwhile).
    ExchangeBlocks(*ports[0], 0, kFirstRouterTag, 2, figures.afterExtras);
    watching = false;
    watcher.join();
    figures.minSessionCount = std::min(figures.minSessionCount, server.SessionCount());
    figures.maxSessionCount = std::max(figures.maxSessionCount, server.SessionCount());
    figures.maxAcceptedWaiting = std::max(figures.maxAcceptedWaiting, server.AcceptedCount());
    figures.announcementsWhileFull = DrainAnnouncements(announcements);
    for (ExtraConnection& extra : extras) {
        if (!extra.connected) {
            ++figures.extrasRefused;
            continue;
        }
        ++figures.extrasConnected;
        uint8_t byte = 0;
        size_t received = 0;
        if (extra.socket.Receive(&byte, 1, received, 0) != platform::ReceiveStatus::kTimeout) ++figures.extrasServed;
    }
}

// The extra connections stay open while they are claimed, so that what the
// server sends them is received, and closed after the server closed its
// end: no byte of the run is left under way (a driven clock in a later test
// of the process waits for every byte sent to be received).
void CloseExtras(std::vector<ExtraConnection>& extras)
{
    for (ExtraConnection& extra : extras) {
        if (!extra.connected) continue;
        PollUntil(Clock::now() + kSettleLimit, [&] {
            uint8_t buffer[4096];
            size_t received = 0;
            const platform::ReceiveStatus status = extra.socket.Receive(buffer, sizeof buffer, received, 0);
            return status == platform::ReceiveStatus::kClosed || status == platform::ReceiveStatus::kError;
        }, kPollPause);
        extra.socket.Close();
    }
}

// Routers 0 and 1 hang up, the host closes ports 2 and 3.
bool RoutersLeave(CSockProducer& server, Ports& ports, Routers& routers)
{
    routers[0]->Disconnect();
    routers[1]->Disconnect();
    ports[2]->ClosePort();
    ports[3]->ClosePort();
    const bool freed = PollUntil(Clock::now() + kSettleLimit, [&] {
        for (int slot = 0; slot < kSessionSlots; ++slot) {
            if (server.SlotBound(slot)) return false;
        }
        return true;
    }, kPollPause);
    // The server has closed these sessions already; closing the ports counts nothing more.
    ports[0]->ClosePort();
    ports[1]->ClosePort();
    return freed;
}

// The connections that waited are accepted as room is made; a port claims
// and closes each, as the watch loop's open and reset do, until `expected`
// were claimed or none was accepted within the settle limit.
int ClaimWaitingConnections(CSockProducer& server, CNetSerial& port, int expected)
{
    int claimed = 0;
    while (claimed < expected && PollUntil(Clock::now() + kSettleLimit, [&] { return server.AcceptedCount() > 0; }, kPollPause)) {
        port.InitPort(0);
        port.ClosePort();
        ++claimed;
    }
    return claimed;
}

void RunPhases(const LoadSettings& settings, LoadFigures& figures)
{
    platform::UdpSocket announcements;
    if (!announcements.Open() || !announcements.Bind(testing_support::LoopbackAddress(), 0)) return;
    platform::CreateFolder(settings.logFolder + platform::kPathSeparator + u"Logs");
    devlink::SockProducerSettings serverSettings;
    serverSettings.listenPort = 0;
    serverSettings.announceHost = "127.0.0.1";
    serverSettings.announcePort = announcements.Port();
    serverSettings.hostFilter = "127.0";
    serverSettings.logFolder = settings.logFolder;
    CSockProducer server(serverSettings);
    figures.serverStarted = server.InitInstance() == 0;
    if (!figures.serverStarted) return;
    Ports ports;
    for (auto& port : ports) port = std::make_unique<CNetSerial>(server);
    Routers routers;

    figures.routersOpened = ConnectRouters(server, ports, routers, kFirstRouterTag);
    if (figures.routersOpened != kSessionSlots) return;
    // What came while fewer were counted; one announcement may still be on
    // its way (the count read just before the fourth was counted), and it
    // is counted in the figure below.
    DrainAnnouncements(announcements);
    std::vector<ExtraConnection> extras(static_cast<size_t>(settings.burstConnections + settings.spreadConnections));
    RunUnderLoad(settings, server, ports, announcements, extras, figures);

    figures.slotsFreedWhenRoutersLeft = RoutersLeave(server, ports, routers);
    figures.waitingClaimedAfterwards = ClaimWaitingConnections(server, *ports[0], figures.extrasConnected);
    CloseExtras(extras);
    figures.sessionCountAfterClaims = server.SessionCount();
    figures.acceptedAfterClaims = server.AcceptedCount();
    PollUntil(Clock::now() + kSettleLimit, [&] { return (figures.announcementsAfterwards += DrainAnnouncements(announcements)) > 0; }, kPollPause);

    figures.routersOpenedAgain = ConnectRouters(server, ports, routers, kNewRouterTag);
    if (figures.routersOpenedAgain == kSessionSlots) ExchangeOnAllPorts(ports, kNewRouterTag, settings.roundsAgain, figures.sessionsAgain);
    for (auto& port : ports) port->ClosePort();
    PollUntil(Clock::now() + kSettleLimit, [&] { return server.SessionCount() == 0 && server.AcceptedCount() == 0; }, kPollPause);
    figures.sessionCountAtEnd = server.SessionCount();
    figures.acceptedAtEnd = server.AcceptedCount();
}

}  // namespace

LoadFigures RunRendezvousLoad(const LoadSettings& settings)
{
    LoadFigures figures;
    const double previousScale = platform::TimeScale();
    platform::SetTimeScale(settings.timeScale);
    const Clock::time_point begin = Clock::now();
    figures.before = SampleProcessResources();
    RunPhases(settings, figures);
    figures.after = SampleProcessResources();
    figures.seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    platform::SetTimeScale(previousScale);
    return figures;
}

}  // namespace link_load
