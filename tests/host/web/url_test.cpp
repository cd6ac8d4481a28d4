#include <gtest/gtest.h>

#include "web/url.h"

namespace {

TEST(Url, RouterCommandUrl)
{
    const web::ParsedUrl url = web::ParseUrl("http://192.168.1.1/goform/goform_process");
    EXPECT_EQ(url.scheme, "HTTP");
    EXPECT_EQ(url.host, "192.168.1.1");
    EXPECT_EQ(url.port, 80);
    EXPECT_EQ(url.path, "/goform/goform_process");
}

TEST(Url, PortWithNothingBehindGivesTheRootPath)
{
    const web::ParsedUrl url = web::ParseUrl("http://192.168.1.1:8080");
    EXPECT_EQ(url.host, "192.168.1.1");
    EXPECT_EQ(url.port, 8080);
    EXPECT_EQ(url.path, "/");
}

TEST(Url, NoSchemeMeansHttpAndTheHostIsUpperCasedButNotThePath)
{
    const web::ParsedUrl url = web::ParseUrl("router.lan/GoForm/x?a=B");
    EXPECT_EQ(url.scheme, "HTTP");
    EXPECT_EQ(url.host, "ROUTER.LAN");
    EXPECT_EQ(url.path, "/GoForm/x?a=B");
}

TEST(Url, OtherSchemesAreKeptUpperCased)
{
    EXPECT_EQ(web::ParseUrl("https://127.0.0.1/").scheme, "HTTPS");
    EXPECT_EQ(web::ParseUrl("ftp:127.0.0.1").scheme, "FTP");
    EXPECT_EQ(web::ParseUrl("averyveryveryverylongscheme://x").scheme.size(), 20u);
}

TEST(Url, OddInputStaysBounded)
{
    EXPECT_EQ(web::ParseUrl("http://127.0.0.1:99999/x").port, 0);
    EXPECT_EQ(web::ParseUrl("http://127.0.0.1:/x").port, 0);
    EXPECT_EQ(web::ParseUrl("").path, "/");
    EXPECT_EQ(web::ParseUrl("http://" + std::string(1000, 'a')).host.size(), 256u);
    EXPECT_EQ(web::ParseUrl("http://h/" + std::string(5000, 'p')).path.size(), 1024u);
}

}  // namespace
