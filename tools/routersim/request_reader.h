// Reads one request from a connection within a time limit, giving up at
// once when the stop descriptor becomes readable.
#pragma once

#include <chrono>

#include "routersim/http_request.h"

namespace routersim {

enum class ReadOutcome {
    kRequest,    // the parser holds a complete request
    kMalformed,  // the parser holds the error to answer with
    kClosed,     // the peer closed or reset the connection first
    kTimedOut,
    kStopped,
};

ReadOutcome ReadRequest(int fd, int stopFd, RequestParser& parser, std::chrono::milliseconds timeout);

}  // namespace routersim
