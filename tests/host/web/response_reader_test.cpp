#include <gtest/gtest.h>

#include <deque>

#include "web/response_reader.h"

namespace {

using platform::ReceiveStatus;

// Hands out its bytes in the piece sizes asked for, then ends as told.
class ScriptedSource : public web::ByteSource {
public:
    ScriptedSource(std::string bytes, ReceiveStatus end) : bytes_(std::move(bytes)), end_(end) {}
    ReceiveStatus Receive(void* buffer, size_t capacity, size_t& received) override
    {
        ++calls;
        if (position_ >= bytes_.size()) return end_;
        received = std::min(capacity, bytes_.size() - position_);
        bytes_.copy(static_cast<char*>(buffer), received, position_);
        position_ += received;
        return ReceiveStatus::kData;
    }
    int calls = 0;

private:
    std::string bytes_;
    size_t position_ = 0;
    ReceiveStatus end_;
};

TEST(ResponseReader, SplitsHeaderAtTheEmptyLineAndReadsTheBodyToTheEnd)
{
    ScriptedSource source("HTTP/1.0 200 OK\r\nX: y\r\n\r\nFACTORYRESULT:CLOSED\r\nmore", ReceiveStatus::kClosed);
    const web::HttpAnswer answer = web::ReadResponse(source);
    ASSERT_TRUE(answer.ok);
    EXPECT_EQ(answer.headerText, "HTTP/1.0 200 OK\r\nX: y\r\n\r\n");
    EXPECT_EQ(answer.body, "FACTORYRESULT:CLOSED\r\nmore");
}

TEST(ResponseReader, BareLineFeedsEndTheHeaderToo)
{
    ScriptedSource source("HTTP/1.0 200 OK\n\nbody", ReceiveStatus::kClosed);
    const web::HttpAnswer answer = web::ReadResponse(source);
    ASSERT_TRUE(answer.ok);
    EXPECT_EQ(answer.headerText, "HTTP/1.0 200 OK\n\n");
    EXPECT_EQ(answer.body, "body");
}

TEST(ResponseReader, PeerClosingInsideTheHeaderEndsItCleanly)
{
    ScriptedSource source("HTTP/1.0 200 OK\r\nContent-Ty", ReceiveStatus::kClosed);
    const web::HttpAnswer answer = web::ReadResponse(source);
    ASSERT_TRUE(answer.ok);
    EXPECT_EQ(answer.headerText, "HTTP/1.0 200 OK\r\nContent-Ty");
    EXPECT_EQ(answer.body, "");
}

TEST(ResponseReader, ReceiveErrorEndsHeaderAndBody)
{
    ScriptedSource source("HTTP/1.0 200 OK\r\n\r\nabc", ReceiveStatus::kError);
    const web::HttpAnswer answer = web::ReadResponse(source);
    ASSERT_TRUE(answer.ok);
    EXPECT_EQ(answer.body, "abc");
}

TEST(ResponseReader, SilenceFailsTheAnswer)
{
    ScriptedSource inHeader("HTTP/1.0 200", ReceiveStatus::kTimeout);
    EXPECT_FALSE(web::ReadResponse(inHeader).ok);
    ScriptedSource inBody("HTTP/1.0 200 OK\r\n\r\npartial", ReceiveStatus::kTimeout);
    const web::HttpAnswer answer = web::ReadResponse(inBody);
    EXPECT_FALSE(answer.ok);
    EXPECT_FALSE(answer.failure.empty());
}

TEST(ResponseReader, EndlessHeaderIsCutAt64KiB)
{
    ScriptedSource source(std::string(web::kHeaderLimit + 10, 'h'), ReceiveStatus::kClosed);
    const web::HttpAnswer answer = web::ReadResponse(source);
    EXPECT_FALSE(answer.ok);
    EXPECT_LE(source.calls, static_cast<int>(web::kHeaderLimit) + 2);
}

TEST(ResponseReader, HeaderOfExactly64KiBIsAccepted)
{
    std::string header(web::kHeaderLimit - 4, 'h');
    header += "\r\n\r\n";
    ScriptedSource source(header + "ok", ReceiveStatus::kClosed);
    const web::HttpAnswer answer = web::ReadResponse(source);
    ASSERT_TRUE(answer.ok);
    EXPECT_EQ(answer.body, "ok");
}

TEST(ResponseReader, BodyAboveOneMiBFails)
{
    ScriptedSource fits("\r\n" + std::string(web::kBodyLimit, 'b'), ReceiveStatus::kClosed);
    EXPECT_TRUE(web::ReadResponse(fits).ok);
    ScriptedSource tooLong("\r\n" + std::string(web::kBodyLimit + 1, 'b'), ReceiveStatus::kClosed);
    EXPECT_FALSE(web::ReadResponse(tooLong).ok);
}

TEST(ResponseReader, BodyIsReadInPiecesOf511Bytes)
{
    ScriptedSource source("\n" + std::string(2000, 'b'), ReceiveStatus::kClosed);
    const web::HttpAnswer answer = web::ReadResponse(source);
    ASSERT_TRUE(answer.ok);
    EXPECT_EQ(answer.body.size(), 2000u);
    EXPECT_EQ(source.calls, 1 + 4 + 1);  // the header byte, four pieces, the close
}

}  // namespace
