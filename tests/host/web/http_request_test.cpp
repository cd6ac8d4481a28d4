#include <string>
#include <vector>

#include "platform/clock.h"
#include "scripted_http_server.h"
#include "web/http_request.h"
#include "web_fixture.h"

namespace {

using HttpRequest = WebFixture;

TEST_F(HttpRequest, SendsTheRequestBytesInOrder)
{
    ScriptedHttpServer server([](const std::string&) { return ScriptedHttpServer::Answer("SUCCESS"); });
    web::Request request;
    std::u16string header;
    std::u16string body;
    const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/goform/goform_process";
    ASSERT_TRUE(request.SendRequest(url, u"goformId=GetVersion", header, body));
    EXPECT_EQ(body, u"SUCCESS");
    EXPECT_EQ(header, u"HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n");
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0],
              "POST /goform/goform_process HTTP/1.0\r\n"
              "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/vnd.ms-excel, application/msword, "
              "application/vnd.ms-powerpoint, */*\r\n"
              "Accept-Language: en-us\r\n"
              "Accept-Encoding: gzip, deflate\r\n"
              "User-Agent: Mozilla/4.0\r\n"
              "Content-Length: 19\r\n"
              "Host: 127.0.0.1\r\n"
              "Content-Type: application/x-www-form-urlencoded\r\n"
              "\r\n"
              "goformId=GetVersion");
}

TEST_F(HttpRequest, EmptyBodySendsNoContentLengthAndHostIsUpperCased)
{
    ScriptedHttpServer server([](const std::string&) { return ScriptedHttpServer::Answer(""); });
    web::Request request;
    std::u16string header;
    std::u16string body;
    ASSERT_TRUE(request.SendRequest("http://localhost:" + std::to_string(server.Port()) + "/x", u"", header, body));
    ASSERT_EQ(server.Requests().size(), 1u);
    const std::string sent = server.Requests()[0];
    EXPECT_EQ(sent.find("Content-Length"), std::string::npos);
    EXPECT_NE(sent.find("\r\nHost: LOCALHOST\r\n"), std::string::npos);
    EXPECT_EQ(sent.rfind("POST /x HTTP/1.0\r\n", 0), 0u);
}

TEST_F(HttpRequest, ColonWithoutSchemeIsTakenForTheScheme)
{
    web::Request request;
    std::u16string header;
    std::u16string body;
    EXPECT_FALSE(request.SendRequest("localhost:8080/x", u"a=b", header, body));
}

TEST_F(HttpRequest, OtherSchemeFailsBeforeAnyConnection)
{
    ScriptedHttpServer server([](const std::string&) { return ScriptedHttpServer::Answer("x"); });
    web::Request request;
    std::u16string header;
    std::u16string body;
    EXPECT_FALSE(request.SendRequest("https://127.0.0.1:" + std::to_string(server.Port()) + "/", u"a=b", header, body));
    // The server takes connections in the order they came: had the https
    // request connected, the plain one after it would not be the first.
    ASSERT_TRUE(request.SendRequest(server.Url(), u"after=1", header, body));
    const std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].ends_with("\r\n\r\nafter=1")) << requests[0];
}

TEST_F(HttpRequest, AnswersAreConvertedAsAnsiText)
{
    ScriptedHttpServer server([](const std::string&) { return ScriptedHttpServer::Answer("vers\xe3o"); });
    web::Request request;
    std::u16string header;
    std::u16string body;
    ASSERT_TRUE(request.SendRequest(server.Url(), u"a=b", header, body));
    EXPECT_EQ(body, u"vers\u00e3o");
}

TEST_F(HttpRequest, SilentRouterFailsAfterTheSilenceLimit)
{
    ScriptedHttpServer server([](const std::string&) { return ScriptedHttpServer::kSilent; });
    web::Request request;
    std::u16string header;
    std::u16string body;
    const uint64_t start = platform::MonotonicMs();
    EXPECT_FALSE(request.SendRequest(server.Url(), u"a=b", header, body));
    const uint64_t elapsed = platform::MonotonicMs() - start;
    // The silence limit, once (time may also reach the connect's limit while
    // its poll sees the connection made: a ready socket is not a waiting thread).
    EXPECT_GE(elapsed, web::kSilenceLimitMs);
    EXPECT_LE(elapsed, web::kConnectLimitMs + web::kSilenceLimitMs);
    ASSERT_EQ(server.Requests().size(), 1u);
}

TEST_F(HttpRequest, PeerClosingBeforeAnyByteGivesAnEmptyAnswer)
{
    ScriptedHttpServer server([](const std::string&) { return ScriptedHttpServer::kNoAnswer; });
    web::Request request;
    std::u16string header;
    std::u16string body;
    EXPECT_TRUE(request.SendRequest(server.Url(), u"a=b", header, body));
    EXPECT_EQ(header, u"");
    EXPECT_EQ(body, u"");
}

}  // namespace
