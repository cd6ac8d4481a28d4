// A few lines of HTTP client on raw loopback sockets, so that the tests see
// every byte the simulated web interface sends and can send it anything.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "routersim/unique_fd.h"
#include "patience.h"

namespace routersim_test {

using namespace std::chrono_literals;

// A connected socket to 127.0.0.1:port, or an invalid one (errno tells why).
routersim::UniqueFd ConnectLoopback(uint16_t port);
bool SendBytes(int fd, std::string_view bytes);
// Reads until the server closes; nothing when `timeout` passes first.

std::optional<std::string> ReadUntilClosed(int fd, std::chrono::milliseconds timeout = kPatience);
// True when, right now, the connection is open and nothing has come on it
// (a look, not a wait).
bool OpenAndQuiet(int fd);
// Connects, sends `request` and reads the whole answer.
std::optional<std::string> Exchange(uint16_t port, std::string_view request, std::chrono::milliseconds timeout = kPatience);

// A request as the host program sends it, with its header lines.
std::string FormRequest(std::string_view body, std::string_view path = "/goform/goform_process");
// POSTs a form body and returns the answer's body; nothing when there was
// no complete answer.
std::optional<std::string> PostForm(uint16_t port, std::string_view body);
// The part of an answer after its blank line; nothing without one.
std::optional<std::string> BodyOf(std::string_view response);

inline constexpr std::string_view kModeQuery = "goformId=SwitchFactoryMode&SwitchCMD=Query";
inline constexpr std::string_view kSwitchOpen = "goformId=SwitchFactoryMode&SwitchCMD=Open";
inline constexpr std::string_view kGetVersion = "goformId=GetVersion";

}  // namespace routersim_test
