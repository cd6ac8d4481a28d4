// Reads one HTTP/1.0 answer: the header byte by byte up to and including
// the empty line (or until the peer closes or fails), then the body until
// the peer closes. Bounded: a header above 64 KiB, a body above 1 MiB or a
// silence reported by the source fails the answer.
#pragma once

#include <cstddef>
#include <string>

#include "platform/tcp_socket.h"

namespace web {

inline constexpr size_t kHeaderLimit = 64 * 1024;
inline constexpr size_t kBodyLimit = 1024 * 1024;
inline constexpr size_t kBodyPiece = 511;

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual platform::ReceiveStatus Receive(void* buffer, size_t capacity, size_t& received) = 0;
};

struct HttpAnswer {
    bool ok = false;
    std::string headerText;
    std::string body;
    std::string failure;  // why, when not ok
};

HttpAnswer ReadResponse(ByteSource& source);

}  // namespace web
