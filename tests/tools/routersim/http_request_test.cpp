#include <gtest/gtest.h>

#include "routersim/http_request.h"

using routersim::RequestLimits;
using routersim::RequestParser;
using Status = RequestParser::Status;

namespace {

const std::string kRequest =
    "POST /goform/goform_process HTTP/1.0\r\n"
    "Accept: */*\r\n"
    "content-length: 19\r\n"
    "Content-Type: application/x-www-form-urlencoded\r\n"
    "\r\n"
    "goformId=GetVersion";

}  // namespace

TEST(RequestParser, ParsesAWholeRequest)
{
    RequestParser parser;
    ASSERT_EQ(parser.Feed(kRequest), Status::kComplete);
    EXPECT_EQ(parser.Request().method, "POST");
    EXPECT_EQ(parser.Request().target, "/goform/goform_process");
    EXPECT_EQ(parser.Request().version, "HTTP/1.0");
    EXPECT_EQ(parser.Request().body, "goformId=GetVersion");
    EXPECT_EQ(parser.Request().raw, kRequest);
}

TEST(RequestParser, ParsesByteByByte)
{
    RequestParser parser;
    for (size_t i = 0; i + 1 < kRequest.size(); ++i) {
        ASSERT_EQ(parser.Feed(kRequest.substr(i, 1)), Status::kNeedMore) << "at byte " << i;
    }
    ASSERT_EQ(parser.Feed(kRequest.substr(kRequest.size() - 1)), Status::kComplete);
    EXPECT_EQ(parser.Request().raw, kRequest);
}

TEST(RequestParser, IgnoresBytesAfterTheBody)
{
    RequestParser parser;
    ASSERT_EQ(parser.Feed(kRequest + "&more"), Status::kComplete);
    EXPECT_EQ(parser.Request().body, "goformId=GetVersion");
    EXPECT_EQ(parser.Feed("later"), Status::kComplete);
    EXPECT_EQ(parser.Request().raw, kRequest);
}

TEST(RequestParser, WithoutContentLengthTheBodyIsEmpty)
{
    RequestParser parser;
    ASSERT_EQ(parser.Feed("POST /goform/goform_process HTTP/1.0\r\nHost: x\r\n\r\ngoformId=GetVersion"), Status::kComplete);
    EXPECT_EQ(parser.Request().body, "");
}

TEST(RequestParser, AcceptsBareLineFeeds)
{
    RequestParser parser;
    ASSERT_EQ(parser.Feed("POST /a HTTP/1.0\nContent-Length: 2\n\nab"), Status::kComplete);
    EXPECT_EQ(parser.Request().body, "ab");
}

TEST(RequestParser, HeaderOverTheLimit)
{
    RequestParser parser(RequestLimits{64, 64});
    EXPECT_EQ(parser.Feed("POST /a HTTP/1.0\r\nX: " + std::string(60, 'x')), Status::kError);
    EXPECT_EQ(parser.ErrorStatus(), 431);
}

TEST(RequestParser, CompleteHeaderOverTheLimit)
{
    RequestParser parser(RequestLimits{64, 64});
    EXPECT_EQ(parser.Feed("POST /a HTTP/1.0\r\nX: " + std::string(60, 'x') + "\r\n\r\n"), Status::kError);
    EXPECT_EQ(parser.ErrorStatus(), 431);
}

TEST(RequestParser, HeaderExactlyAtTheLimit)
{
    const std::string header = "POST /a HTTP/1.0\r\n\r\n";
    RequestParser parser(RequestLimits{header.size(), 0});
    EXPECT_EQ(parser.Feed(header), Status::kComplete);
}

TEST(RequestParser, BodyOverTheLimit)
{
    RequestParser parser(RequestLimits{1024, 10});
    EXPECT_EQ(parser.Feed("POST /a HTTP/1.0\r\nContent-Length: 11\r\n\r\n"), Status::kError);
    EXPECT_EQ(parser.ErrorStatus(), 413);
    RequestParser atLimit(RequestLimits{1024, 10});
    EXPECT_EQ(atLimit.Feed("POST /a HTTP/1.0\r\nContent-Length: 10\r\n\r\n0123456789"), Status::kComplete);
}

TEST(RequestParser, Rejects)
{
    const char* const bad[] = {
        "\r\n\r\n",
        "\r\nPOST /a HTTP/1.0\r\n\r\n",
        "POST\r\n\r\n",
        "POST /a\r\n\r\n",
        "POST a HTTP/1.0\r\n\r\n",
        "POST /a FTP/1.0\r\n\r\n",
        "PO(ST /a HTTP/1.0\r\n\r\n",
        "POST /a\x01 HTTP/1.0\r\n\r\n",
        "POST /a HTTP/1.0\r\nNo colon\r\n\r\n",
        "POST /a HTTP/1.0\r\nBad Name: 1\r\n\r\n",
        "POST /a HTTP/1.0\r\nContent-Length:\r\n\r\n",
        "POST /a HTTP/1.0\r\nContent-Length: 1x\r\n\r\n",
        "POST /a HTTP/1.0\r\nContent-Length: -1\r\n\r\n",
        "POST /a HTTP/1.0\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n",
    };
    for (const char* request : bad) {
        RequestParser parser;
        EXPECT_EQ(parser.Feed(request), Status::kError) << request;
        EXPECT_EQ(parser.ErrorStatus(), 400) << request;
        EXPECT_FALSE(parser.ErrorReason().empty());
    }
}

TEST(RequestParser, RepeatedEqualContentLengthIsFine)
{
    RequestParser parser;
    EXPECT_EQ(parser.Feed("POST /a HTTP/1.0\r\nContent-Length: 1\r\nContent-Length:  1 \r\n\r\nz"), Status::kComplete);
}
