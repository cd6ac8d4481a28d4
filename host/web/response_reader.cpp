#include "web/response_reader.h"

namespace web {

using platform::ReceiveStatus;

HttpAnswer ReadResponse(ByteSource& source)
{
    HttpAnswer answer;
    size_t lineBytes = 0;
    for (;;) {
        char byte = 0;
        size_t received = 0;
        const ReceiveStatus status = source.Receive(&byte, 1, received);
        if (status == ReceiveStatus::kTimeout) {
            answer.failure = "the router stayed silent in the header";
            return answer;
        }
        if (status != ReceiveStatus::kData || received != 1) break;
        if (answer.headerText.size() == kHeaderLimit) {
            answer.failure = "the header is longer than 64 KiB";
            return answer;
        }
        answer.headerText += byte;
        if (byte == '\n') {
            if (lineBytes == 0) break;
            lineBytes = 0;
        } else if (byte != '\r') {
            ++lineBytes;
        }
    }
    char piece[kBodyPiece];
    for (;;) {
        size_t received = 0;
        const ReceiveStatus status = source.Receive(piece, sizeof piece, received);
        if (status == ReceiveStatus::kTimeout) {
            answer.failure = "the router stayed silent in the body";
            return answer;
        }
        if (status != ReceiveStatus::kData) break;
        if (answer.body.size() + received > kBodyLimit) {
            answer.failure = "the body is longer than 1 MiB";
            return answer;
        }
        answer.body.append(piece, received);
    }
    answer.ok = true;
    return answer;
}

}  // namespace web
