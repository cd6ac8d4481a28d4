#include "routersim/web_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "routersim/form_fields.h"
#include "routersim/http_response.h"
#include "routersim/log.h"
#include "routersim/request_reader.h"

namespace routersim {
namespace {

constexpr std::string_view kFormPath = "/goform/goform_process";
constexpr auto kListenStateWait = std::chrono::seconds(2);
constexpr auto kCloseDrain = std::chrono::milliseconds(1000);
constexpr timeval kSendTimeout{2, 0};
constexpr size_t kLoggedBytes = 200;

bool MakePipe(UniqueFd& readEnd, UniqueFd& writeEnd)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        LogLine(std::string("pipe: ") + std::strerror(errno));
        return false;
    }
    readEnd.Reset(fds[0]);
    writeEnd.Reset(fds[1]);
    return true;
}

void Poke(const UniqueFd& writeEnd)
{
    const char byte = 1;
    const ssize_t written = write(writeEnd.Get(), &byte, 1);
    static_cast<void>(written);  // a full pipe is already poked
}

void Drain(const UniqueFd& readEnd)
{
    std::array<char, 64> bytes{};
    while (read(readEnd.Get(), bytes.data(), bytes.size()) > 0) {
    }
}

void SendAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t sent = send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return;
        data.remove_prefix(static_cast<size_t>(sent));
    }
}

// Request text fit for one log line: printable, short.
std::string Printable(std::string_view text)
{
    std::string out;
    for (const char c : text.substr(0, kLoggedBytes)) {
        out.push_back(c >= 0x20 && c < 0x7f ? c : '.');
    }
    if (text.size() > kLoggedBytes) out.append("...");
    return out;
}

}  // namespace

WebServer::WebServer(RouterState& state, WebLimits limits) : state_(state), limits_(limits) {}

WebServer::~WebServer()
{
    Stop();
}

bool WebServer::Start(const std::string& address, uint16_t port)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (running_) {
        LogLine("the web interface is already running");
        return false;
    }
    if (!MakePipe(stopRead_, stopWrite_) || !MakePipe(controlRead_, controlWrite_)) return false;
    if (!listener_.Bind(address, port)) return false;
    if (fault_ != WebFault::kRefuse && !listener_.Listen()) {
        listener_.Close();
        return false;
    }
    port_ = listener_.Port();
    running_ = true;
    appliedListenState_ = wantedListenState_;
    acceptThread_ = std::thread(&WebServer::AcceptLoop, this);
    return true;
}

void WebServer::Stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!running_) return;
        running_ = false;
    }
    listenApplied_.notify_all();
    Poke(stopWrite_);
    acceptThread_.join();
    for (Worker& worker : workers_) worker.thread.join();
    workers_.clear();
    listener_.Close();
}

bool WebServer::SetFault(WebFault fault)
{
    std::unique_lock<std::mutex> lock(mutex_);
    fault_ = fault;
    if (!running_) return true;
    const uint64_t wanted = ++wantedListenState_;
    Poke(controlWrite_);
    if (!listenApplied_.wait_for(lock, kListenStateWait, [&] { return appliedListenState_ >= wanted || !running_; })) {
        LogLine("the listening socket did not follow the fault in time");
        return false;
    }
    return listenStateOk_;
}

WebFault WebServer::Fault() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return fault_;
}

void WebServer::RefuseSwitches(int count)
{
    std::lock_guard<std::mutex> lock(mutex_);
    refuseSwitches_ = std::max(count, 0);
}

void WebServer::SetVerbose(bool on)
{
    std::lock_guard<std::mutex> lock(mutex_);
    verbose_ = on;
}

bool WebServer::Verbose() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return verbose_;
}

WebCounters WebServer::Counters() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return counters_;
}

std::string WebServer::LastRequest() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return lastRequest_;
}

void WebServer::AcceptLoop()
{
    while (true) {
        std::array<pollfd, 3> fds{{
            {stopRead_.Get(), POLLIN, 0},
            {controlRead_.Get(), POLLIN, 0},
            {listener_.Listening() ? listener_.Fd() : -1, POLLIN, 0},
        }};
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            LogLine(std::string("poll on the listening socket: ") + std::strerror(errno));
            return;
        }
        if (fds[0].revents != 0) return;
        if (fds[1].revents != 0) {
            Drain(controlRead_);
            ApplyListenState();
        }
        if (fds[2].revents != 0) AcceptConnection();
        ReapWorkers();
    }
}

void WebServer::ApplyListenState()
{
    std::unique_lock<std::mutex> lock(mutex_);
    const bool refuse = fault_ == WebFault::kRefuse;
    const uint64_t wanted = wantedListenState_;
    lock.unlock();
    const bool ok = refuse ? listener_.Refuse() : listener_.Listen();
    lock.lock();
    appliedListenState_ = wanted;
    listenStateOk_ = ok;
    lock.unlock();
    listenApplied_.notify_all();
}

void WebServer::AcceptConnection()
{
    UniqueFd connection(accept4(listener_.Fd(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!connection.Valid()) return;
    ReapWorkers();
    if (workers_.size() >= limits_.maxConnections) {
        LogLine("too many connections at once; closing a new one");
        return;
    }
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([this, done, fd = std::move(connection)]() mutable {
        Serve(std::move(fd));
        *done = true;
    });
    workers_.push_back(Worker{std::move(thread), std::move(done)});
}

void WebServer::ReapWorkers()
{
    const auto finished = std::partition(workers_.begin(), workers_.end(), [](const Worker& worker) { return !*worker.done; });
    for (auto it = finished; it != workers_.end(); ++it) it->thread.join();
    workers_.erase(finished, workers_.end());
}

void WebServer::Serve(UniqueFd connection)
{
    const int fd = connection.Get();
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &kSendTimeout, sizeof(kSendTimeout));
    RequestParser parser(limits_.request);
    switch (ReadRequest(fd, stopRead_.Get(), parser, limits_.readTimeout)) {
    case ReadOutcome::kRequest: break;
    case ReadOutcome::kMalformed:
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++counters_.malformed;
        }
        LogLine("malformed request: " + parser.ErrorReason());
        SendAll(fd, HttpResponse(parser.ErrorStatus(), parser.ErrorReason()));
        CloseGracefully(fd);
        return;
    case ReadOutcome::kTimedOut:
        LogLine("no complete request in " + std::to_string(limits_.readTimeout.count()) + " ms; closing the connection");
        return;
    case ReadOutcome::kClosed:
        if (Verbose()) LogLine("the client closed the connection before its request was complete");
        return;
    case ReadOutcome::kStopped: return;
    }
    Answer(fd, parser.Request(), Fault());
}

void WebServer::Answer(int fd, const HttpRequest& request, WebFault fault)
{
    const bool formPath = request.method == "POST" && request.target == kFormPath;
    const FormCommand command = formPath ? ClassifyForm(ParseFormFields(request.body)) : FormCommand::kOther;
    Record(request, command, formPath);
    const bool verbose = Verbose();
    const std::string what = request.method + " " + Printable(request.target) + " " + Printable(request.body);
    switch (fault) {
    case WebFault::kSilent:
        if (verbose) LogLine(what + " -> no answer (silent)");
        WaitForStop();
        return;
    case WebFault::kCloseEarly:
        if (verbose) LogLine(what + " -> closed (close-early)");
        CloseGracefully(fd);
        return;
    case WebFault::kCloseMidHeader:
        if (verbose) LogLine(what + " -> cut in the header (close-mid-header)");
        SendAll(fd, kCutHeader);
        CloseGracefully(fd);
        return;
    case WebFault::kNone:
    case WebFault::kLowerCase:
    case WebFault::kFail:
    case WebFault::kRefuse: break;
    }
    const std::string response = formPath ? HttpResponse(200, AnswerForm(command, fault)) : HttpResponse(404, "not found");
    if (verbose) LogLine(what + " -> " + Printable(response.substr(response.find("\r\n\r\n") + 4)));
    SendAll(fd, response);
    CloseGracefully(fd);
}

std::string WebServer::AnswerForm(FormCommand command, WebFault fault)
{
    switch (command) {
    case FormCommand::kModeQuery: return ModeQueryAnswer(state_.FactoryMode(), fault);
    case FormCommand::kVersion: return VersionAnswer(state_.FirmwareVersion(), fault);
    case FormCommand::kSwitchOpen:
        {
            bool switched = false;
            if (fault != WebFault::kFail) {
                std::lock_guard<std::mutex> lock(mutex_);
                if (refuseSwitches_ > 0) {
                    --refuseSwitches_;
                } else {
                    switched = true;
                }
            }
            if (switched) state_.SetFactoryMode(true);
            return SwitchAnswer(switched, fault);
        }
    case FormCommand::kOther: break;
    }
    return OtherFormAnswer(fault);
}

void WebServer::Record(const HttpRequest& request, FormCommand command, bool formPath)
{
    std::lock_guard<std::mutex> lock(mutex_);
    lastRequest_ = request.raw;
    if (!formPath) {
        ++counters_.others;
        return;
    }
    switch (command) {
    case FormCommand::kModeQuery: ++counters_.modeQueries; break;
    case FormCommand::kSwitchOpen: ++counters_.switches; break;
    case FormCommand::kVersion: ++counters_.versions; break;
    case FormCommand::kOther: ++counters_.others; break;
    }
}

void WebServer::WaitForStop() const
{
    pollfd stop{stopRead_.Get(), POLLIN, 0};
    while (poll(&stop, 1, -1) < 0 && errno == EINTR) {
    }
}

// Ends the answer with FIN and reads what the client still sends until it
// closes too, so that unread bytes never turn the close into a reset that
// could cost the client the answer.
void WebServer::CloseGracefully(int fd) const
{
    shutdown(fd, SHUT_WR);
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + kCloseDrain;
    std::array<char, 4096> scratch{};
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return;
        std::array<pollfd, 2> fds{{{fd, POLLIN, 0}, {stopRead_.Get(), POLLIN, 0}}};
        const int ready = poll(fds.data(), fds.size(), static_cast<int>(left.count()) + 1);
        if (ready < 0 && errno != EINTR) return;
        if (ready <= 0) continue;
        if (fds[1].revents != 0) return;
        if (recv(fd, scratch.data(), scratch.size(), 0) <= 0) return;
    }
}

}  // namespace routersim
