#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/clock.h"
#include "platform/endpoints.h"
#include "platform/files.h"
#include "platform/local_time.h"
#include "platform/named_mutex.h"
#include "platform/stop_signal.h"
#include "platform/text.h"
#include "../support/poll_until.h"
#include "../support/test_env.h"

namespace {

using platform::kPathSeparator;

// The default clock: the monotonic clock sped up by the time scale. Its
// bounds are lower bounds in real time, and upper bounds of seconds where an
// unscaled wait would last far longer, so that a loaded machine cannot fail
// them.
class TimeScaleTest : public ::testing::Test {
protected:
    void TearDown() override { platform::SetTimeScale(1.0); }
};

using RealClock = std::chrono::steady_clock;

int64_t RealMsSince(RealClock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(RealClock::now() - start).count();
}

TEST_F(TimeScaleTest, ScaledSleepIsShortAndClockRunsFast)
{
    platform::SetTimeScale(100.0);
    const uint64_t scaledStart = platform::MonotonicMs();
    const auto realStart = RealClock::now();
    platform::SleepMs(30000);  // 300 ms of real time; 30 s unscaled
    const auto realEnd = RealClock::now();
    const uint64_t scaledMs = platform::MonotonicMs() - scaledStart;
    const auto realUs = std::chrono::duration_cast<std::chrono::microseconds>(realEnd - realStart).count();
    EXPECT_GE(realUs, 300000 - 1000);
    EXPECT_LT(realUs, 15000000);
    EXPECT_GE(scaledMs, 30000u);
    // The clock advanced 100 times as far as real time did in between.
    EXPECT_GE(scaledMs + 2, static_cast<uint64_t>(realUs / 10));
}

TEST_F(TimeScaleTest, ScalesBelowOneAreIgnored)
{
    platform::SetTimeScale(0.01);
    EXPECT_EQ(platform::TimeScale(), 1.0);
    EXPECT_EQ(platform::ScaledMicroseconds(3), 3000u);
}

TEST_F(TimeScaleTest, StopSignalCutsASleepShort)
{
    platform::StopSignal stop;
    EXPECT_TRUE(stop.SleepFor(1));
    std::thread requester([&stop] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        stop.Request();
    });
    const auto start = RealClock::now();
    EXPECT_FALSE(stop.SleepFor(60000));
    EXPECT_LT(RealMsSince(start), 30000);
    requester.join();
    EXPECT_TRUE(stop.Requested());
    EXPECT_FALSE(stop.SleepFor(0));
}

// However fast the clock runs, a reply window stays open at least its own
// length of real time, up to 200 ms (the floor), and at least its length of
// clock time.
TEST_F(TimeScaleTest, ReplyWindowsKeepARealTimeFloor)
{
    platform::SetTimeScale(1000.0);
    EXPECT_EQ(platform::CurrentClock().ReplyFloorMs(), 200u);
    const auto start = RealClock::now();
    const platform::ReplyWindow shortWindow(100);      // 0.1 ms by the clock
    const platform::ReplyWindow floored(60000);        // 60 ms by the clock
    const platform::ReplyWindow clockBound(400000);    // 400 ms by the clock
    int64_t shortClosed = -1;
    int64_t flooredClosed = -1;
    int64_t clockBoundClosed = -1;
    const bool allClosed = testing_support::PollUntil([&] {
        const int64_t now = RealMsSince(start);
        if (shortClosed < 0 && !shortWindow.Open()) shortClosed = now;
        if (flooredClosed < 0 && !floored.Open()) flooredClosed = now;
        if (clockBoundClosed < 0 && !clockBound.Open()) clockBoundClosed = now;
        return shortClosed >= 0 && flooredClosed >= 0 && clockBoundClosed >= 0;
    });
    ASSERT_TRUE(allClosed);
    EXPECT_GE(shortClosed, 100);
    EXPECT_GE(flooredClosed, 200);
    EXPECT_GE(clockBoundClosed, 400);
}

TEST(Files, FolderTreeIsCreatedAndRemovedDepthFirst)
{
    const std::u16string temp = testing_support::UsePrivateTempFolder("files");
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(platform::TempFolder(), temp);
    const std::u16string root = temp + u"tree";
    const std::u16string sub = root + kPathSeparator + u"EFSNV";
    const std::u16string deep = sub + kPathSeparator + u"deeper";
    ASSERT_TRUE(platform::CreateFolder(root));
    ASSERT_TRUE(platform::CreateFolder(root));  // already there
    ASSERT_TRUE(platform::CreateFolder(sub));
    ASSERT_TRUE(platform::CreateFolder(deep));
    const char bytes[] = "abc";
    ASSERT_TRUE(platform::WriteWholeFile(root + kPathSeparator + u"a.txt", bytes, 3));
    ASSERT_TRUE(platform::WriteWholeFile(deep + kPathSeparator + u"b.bin", bytes, 2));
    EXPECT_EQ(platform::FileSize(root + kPathSeparator + u"a.txt"), 3u);
    EXPECT_FALSE(platform::FileSize(sub).has_value());
    EXPECT_TRUE(platform::FolderExists(deep));
    EXPECT_FALSE(platform::FileExists(deep));

    EXPECT_TRUE(platform::DeleteTree(root));
    EXPECT_FALSE(platform::FolderExists(root));
    EXPECT_FALSE(platform::CreateFolder(root + kPathSeparator + u"missing" + kPathSeparator + u"child"));
}

TEST(Files, WholeFileRoundTripsAndMissingFilesFail)
{
    const std::u16string temp = testing_support::UsePrivateTempFolder("roundtrip");
    const std::u16string path = temp + u"data \u00e7\u00e3o.bin";
    std::vector<uint8_t> data(200000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
    ASSERT_TRUE(platform::WriteWholeFile(path, data.data(), data.size()));
    EXPECT_EQ(platform::ReadWholeFile(path), data);
    ASSERT_TRUE(platform::WriteWholeFile(path, data.data(), 1));  // truncates
    EXPECT_EQ(platform::FileSize(path), 1u);
    EXPECT_FALSE(platform::ReadWholeFile(temp + u"absent").has_value());
    EXPECT_FALSE(platform::WriteWholeFile(temp + u"absent" + kPathSeparator + u"x", data.data(), 1));
}

TEST(Files, TempFolderIsEmptyWhenItDoesNotExist)
{
    const std::u16string temp = testing_support::UsePrivateTempFolder("gone");
    const std::string missing = platform::Utf16ToUtf8(temp) + "not-there";
    testing_support::SetEnv("TMPDIR", missing);
    testing_support::SetEnv("TMP", missing);
    testing_support::SetEnv("TEMP", missing);
    EXPECT_EQ(platform::TempFolder(), u"");
    testing_support::UsePrivateTempFolder("gone");
}

TEST(NamedMutex, SecondHolderSeesTheFirstUntilItCloses)
{
    testing_support::UsePrivateTempFolder("mutex");
    const std::u16string name = u"flashdesk-test,mutex";
    auto first = std::make_unique<platform::NamedMutex>(name);
    EXPECT_FALSE(first->AlreadyExisted());
    {
        platform::NamedMutex second(name);
        EXPECT_TRUE(second.AlreadyExisted());
    }
    platform::NamedMutex other(u"flashdesk-test,other");
    EXPECT_FALSE(other.AlreadyExisted());
    first->Close();
    platform::NamedMutex third(name);
    EXPECT_FALSE(third.AlreadyExisted());
}

TEST(Text, Utf16AndUtf8RoundTrip)
{
    const std::u16string text = u"Atualiza\u00e7\u00e3o \u20ac \U0001F600";
    const std::string utf8 = platform::Utf16ToUtf8(text);
    EXPECT_EQ(utf8, "Atualiza\xc3\xa7\xc3\xa3o \xe2\x82\xac \xf0\x9f\x98\x80");
    EXPECT_EQ(platform::Utf8ToUtf16(utf8), text);
}

TEST(Text, MalformedInputBecomesReplacementCharacters)
{
    EXPECT_EQ(platform::Utf8ToUtf16("a\xff" "b"), u"a\ufffdb");
    EXPECT_EQ(platform::Utf8ToUtf16("\xe2\x82"), u"\ufffd\ufffd");
    EXPECT_EQ(platform::Utf8ToUtf16("\xc0\xaf"), u"\ufffd\ufffd");  // overlong
    EXPECT_EQ(platform::Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xef\xbf\xbd");
}

TEST(Text, CodePagesConvertBothWays)
{
    EXPECT_EQ(platform::CodePageToUtf16(1252, "\x80 caf\xe9"), u"\u20ac caf\u00e9");
    EXPECT_EQ(platform::CodePageToUtf16(936, "\xc4\xe3\xba\xc3"), u"\u4f60\u597d");
    EXPECT_EQ(platform::CodePageToUtf16(932, "\x82\xa0"), u"\u3042");
    EXPECT_EQ(platform::Utf16ToCodePage(936, u"\u4f60\u597d"), "\xc4\xe3\xba\xc3");
    EXPECT_EQ(platform::Utf16ToCodePage(1251, u"\u0416"), "\xc6");
    EXPECT_EQ(platform::CodePageToUtf16(28592, "\xa3"), u"\u0141");
}

TEST(Text, UnconvertibleCharactersAreReplacedNotDropped)
{
    EXPECT_EQ(platform::Utf16ToCodePage(1252, u"a\u4f60b"), "a?b");
    // A truncated double-byte character still yields one character.
    EXPECT_EQ(platform::CodePageToUtf16(936, "a\xc4").size(), 2u);
}

TEST(Endpoints, DefaultsAreTheProductsAddresses)
{
    const platform::Endpoints defaults;
    EXPECT_EQ(defaults.router.host + ":" + std::to_string(defaults.router.port), "192.168.1.1:80");
    EXPECT_EQ(defaults.announce.host + ":" + std::to_string(defaults.announce.port), "255.255.255.255:3536");
    EXPECT_EQ(defaults.listenPort, 4536);
    EXPECT_EQ(defaults.hostFilter, "192.168");
}

TEST(Endpoints, HostAndPortParsing)
{
    auto parsed = platform::ParseHostPort("127.0.0.1:8080", 80);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->host, "127.0.0.1");
    EXPECT_EQ(parsed->port, 8080);
    parsed = platform::ParseHostPort("localhost", 3536);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->port, 3536);
    for (const char* bad : {"", ":80", "host:", "host:0", "host:65536", "host:8x", "a b", "-host", "h/x:1", "1.2.3.4:80:1"}) {
        EXPECT_FALSE(platform::ParseHostPort(bad, 80)) << bad;
    }
    EXPECT_EQ(platform::ParsePort("65535"), 65535);
    EXPECT_FALSE(platform::ParsePort("123456"));
}

TEST(LocalTime, FieldsAreInRange)
{
    const platform::LocalTime now = platform::CurrentLocalTime();
    EXPECT_GE(now.year, 2020);
    EXPECT_GE(now.month, 1);
    EXPECT_LE(now.month, 12);
    EXPECT_GE(now.day, 1);
    EXPECT_LE(now.day, 31);
    EXPECT_LE(now.hour, 23);
    EXPECT_LE(now.minute, 59);
    EXPECT_LE(now.second, 60);
}

}  // namespace
