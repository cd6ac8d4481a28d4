// The link side's socket operations on non-blocking descriptors. Each one
// waits as long as it takes, but gives up at once when the stop descriptor
// becomes readable, so that stopping the link side never waits on the host.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

#include "routersim/unique_fd.h"

namespace routersim {

enum class IoResult {
    kDone,
    kClosed,  // the host closed or reset the connection
    kStopped,
};

IoResult ReadExact(int fd, int stopFd, std::span<uint8_t> buffer);
// Reads at least one byte and at most buffer.size(); `got` says how many.
IoResult ReadSome(int fd, int stopFd, std::span<uint8_t> buffer, size_t& got);
IoResult SendAll(int fd, int stopFd, std::span<const uint8_t> bytes);
// False when the stop came first.
bool PauseUnlessStopped(int stopFd, std::chrono::milliseconds pause);

// A non-blocking TCP connection to `address` (loopback only) and `port`, or
// an invalid descriptor: a refusal, a time-out and a non-loopback address
// are logged; a stop is not.
UniqueFd ConnectLoopback(const std::string& address, uint16_t port, int stopFd, std::chrono::milliseconds timeout);

}  // namespace routersim
