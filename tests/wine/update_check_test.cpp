// wine-test: version=win7 desktop=no timeout=180
// The update query over the real WinHTTP, against a loopback server of the
// test: the request as the server sees it, the answers and their markers, a
// redirection that must not be followed, a refused connection and a server
// that never answers; and UpdatedDate texts read by the platform's date parser.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32/Win32Clock.h"
#include "platform/win32/Win32Network.h"
#include "UpdateTestServer.h"
#include "platform/Failure.h"
#include "update/UpdateChecker.h"
#include "update/UpdateDates.h"

namespace kx {
namespace {

using wine::UpdateTestServer;

double NowMs() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

std::vector<std::string> Lines(const std::string& head) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = head.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(head.substr(start, end - start));
    }
    return lines;
}

// The value of a header, its name compared without regard to case; empty when absent.
std::string Header(const std::string& head, std::string name) {
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    for (const std::string& line : Lines(head)) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string key = line.substr(0, colon);
        std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return std::tolower(c); });
        if (key != name) continue;
        std::size_t value = colon + 1;
        while (value < line.size() && line[value] == ' ') ++value;
        return line.substr(value);
    }
    return {};
}

class UpdateCheckUnderWine : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.Listening()); }

    int Check(std::uint16_t port, double* heldMs = nullptr) {
        UpdateChecker checker(network, clock, UpdateEndpoint{u"127.0.0.1", port});
        const double start = NowMs();
        const int result = checker.CheckForUpdate();
        if (heldMs != nullptr) *heldMs = NowMs() - start;
        return result;
    }
    int Check() { return Check(server.Port()); }

    UpdateTestServer server;
    Win32Network network;
    Win32Clock clock;
};

TEST_F(UpdateCheckUnderWine, ServerSeesOneHttp11GetWithTheProgramsUserAgent) {
    server.ReplyWith(200, "OK", "VELMOR|1");
    EXPECT_EQ(Check(), 1);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto lines = Lines(requests[0]);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "GET /downloads/update/?product=kestrix&version=5.3.7.2022 HTTP/1.1");
    EXPECT_EQ(Header(requests[0], "User-Agent"), "Mozilla/4.0 (compatible; VELMOR)");
    EXPECT_EQ(Header(requests[0], "Host"), "127.0.0.1:" + std::to_string(server.Port()));
    std::printf("request head as the server saw it:\n%s\n", requests[0].c_str());
}

TEST_F(UpdateCheckUnderWine, AnswersGiveTheirMarkers) {
    struct Case {
        int status;
        const char* reason;
        const char* body;
        int result;
    };
    const Case cases[] = {
        {200, "OK", "VELMOR|0", 0},
        {200, "OK", "<html><body>VELMOR|1</body></html>", 1},
        {200, "OK", "VELMOR|2", 2},
        {200, "OK", "VELMOR|2 then VELMOR|1", 1},
        {200, "OK", "velmor|1", -1},
        {200, "OK", "no news", -1},
        {404, "Not Found", "VELMOR|1", -1},
        {500, "Internal Server Error", "VELMOR|1", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.status) + " " + c.body);
        server.ReplyWith(c.status, c.reason, c.body);
        EXPECT_EQ(Check(), c.result);
    }
    EXPECT_EQ(server.Requests().size(), std::size(cases));
}

TEST_F(UpdateCheckUnderWine, RedirectionIsNotFollowed) {
    // Every request is answered with the same redirection, so a client that
    // followed it would come back at once.
    const std::string location = "http://127.0.0.1:" + std::to_string(server.Port()) + "/page";
    server.ReplyWith(302, "Found", "VELMOR|1", "Location: " + location + "\r\n");
    EXPECT_EQ(Check(), -1);
    ::Sleep(500);
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(UpdateCheckUnderWine, BrokenTransferGivesNoAnswer) {
    // The answer announces 100 bytes and the connection ends after 8.
    server.Reply(UpdateTestServer::Mode::Answer, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nVELMOR|1");
    EXPECT_EQ(Check(), -1);
}

TEST_F(UpdateCheckUnderWine, ConnectionClosedWithoutAnswerGivesNoAnswer) {
    server.Reply(UpdateTestServer::Mode::CloseAtOnce);
    EXPECT_EQ(Check(), -1);
}

TEST_F(UpdateCheckUnderWine, RefusedConnectionGivesNoAnswer) {
    double heldMs = 0;
    EXPECT_EQ(Check(UpdateTestServer::UnusedPort(), &heldMs), -1);
    std::printf("refused connection: UI thread held %.1f ms\n", heldMs);
}

TEST_F(UpdateCheckUnderWine, SilentServerIsGivenUpWithinTheBound) {
    server.Reply(UpdateTestServer::Mode::Silent);
    double heldMs = 0;
    EXPECT_EQ(Check(server.Port(), &heldMs), -1);
    EXPECT_EQ(server.Requests().size(), 1u) << "the request reached the server, which kept silent";
    // The bound of the exchange: the UI thread is never held much beyond 15 seconds.
    EXPECT_LT(heldMs, 16000.0);
    std::printf("server that never answers: UI thread held %.1f ms\n", heldMs);
    RecordProperty("silent_server_held_ms", std::to_string(static_cast<int>(heldMs)));
}

// A measuring run, not a check of speed: how long one query holds the UI
// thread when the server answers at once.
TEST_F(UpdateCheckUnderWine, MeasureQueryAgainstAPromptServer) {
    server.ReplyWith(200, "OK", "VELMOR|1");
    std::vector<double> times;
    for (int i = 0; i < 20; ++i) {
        double heldMs = 0;
        ASSERT_EQ(Check(server.Port(), &heldMs), 1);
        times.push_back(heldMs);
    }
    std::sort(times.begin(), times.end());
    std::printf("prompt server, 20 queries: min %.2f ms, median %.2f ms, max %.2f ms\n", times.front(),
                times[times.size() / 2], times.back());
    RecordProperty("prompt_server_median_us", std::to_string(static_cast<int>(times[times.size() / 2] * 1000)));
}

// UpdatedDate texts through oleaut32's parser for the user's default locale.
TEST(UpdatedDateUnderWine, RegionalTextsGoThroughThePlatformParser) {
    Win32Clock clock;
    std::printf("user default locale %#lx\n", static_cast<unsigned long>(::GetUserDefaultLCID()));
    EXPECT_DOUBLE_EQ(UpdatedDateToDateTime(u"2021/12/31 12:00", clock), 44561.5);
    EXPECT_DOUBLE_EQ(UpdatedDateToDateTime(u"2021/12/31", clock), 44561.0);
    EXPECT_DOUBLE_EQ(UpdatedDateToDateTime(u"1640995200", clock), 44562.0);  // 2022-01-01 00:00 as local seconds
    EXPECT_THROW(UpdatedDateToDateTime(u"31.12.2021", clock), Failure);
    EXPECT_THROW(UpdatedDateToDateTime(u"soon/later", clock), Failure);
    // The current moment is the local time of the system.
    SYSTEMTIME local;
    ::GetLocalTime(&local);
    const double moment = CurrentMoment(clock);
    DATE expected = 0;
    ASSERT_TRUE(::SystemTimeToVariantTime(&local, &expected));
    EXPECT_NEAR(moment, expected, 5.0 / 86400);
}

}  // namespace
}  // namespace kx
