#include <gtest/gtest.h>

#include <string>

#include "sim/SimPlatform.h"
#include "update/UpdateChecker.h"

namespace kx {
namespace {

using sim::HandleKind;
using sim::HttpRequest;
using sim::HttpResponse;
using sim::SimPlatform;

class UpdateCheck : public ::testing::Test {
protected:
    SimPlatform sim;
    UpdateChecker checker{sim.network, sim.clock};

    void Answer(const HttpResponse& response) {
        sim.world.httpServer = [response](const HttpRequest&) { return response; };
    }
    static HttpResponse Ok(std::string body) {
        HttpResponse response;
        response.body = std::move(body);
        return response;
    }
    void ExpectEverythingClosed() {
        EXPECT_EQ(sim.world.handles.OpenCount(HandleKind::Internet), 0u);
        EXPECT_EQ(sim.world.handles.BadCloses(), 0u);
    }
};

TEST_F(UpdateCheck, SendsOneGetOfTheUpdateTargetAndClosesEveryHandle) {
    Answer(Ok("VELMOR|1"));
    EXPECT_EQ(checker.CheckForUpdate(), 1);

    ASSERT_EQ(sim.world.httpRequests.size(), 1u);
    const HttpRequest& request = sim.world.httpRequests[0];
    EXPECT_EQ(request.server, u"update.velmor.com");
    EXPECT_EQ(request.port, 80);
    EXPECT_EQ(request.verb, u"GET");
    EXPECT_EQ(request.target, u"/downloads/update/?product=kestrix&version=5.3.7.2022");
    EXPECT_TRUE(request.version.empty()) << "no version given: HTTP/1.1";
    EXPECT_EQ(request.flags, 0u) << "unencrypted";
    EXPECT_EQ(request.userAgent, u"Mozilla/4.0 (compatible; VELMOR)");
    EXPECT_TRUE(request.redirectPolicySet);
    EXPECT_EQ(request.redirectPolicy, w32::kWinHttpOptionRedirectPolicyNever);
    EXPECT_EQ(request.accessType, w32::kWinHttpAccessTypeDefaultProxy);
    EXPECT_EQ(sim.world.handles.OpenedTotal(HandleKind::Internet), 3u);  // session, connection, request
    ExpectEverythingClosed();
}

TEST_F(UpdateCheck, AsksTheEndpointItIsGiven) {
    UpdateChecker local(sim.network, sim.clock, UpdateEndpoint{u"127.0.0.1", 48180});
    Answer(Ok("VELMOR|0"));
    EXPECT_EQ(local.CheckForUpdate(), 0);
    ASSERT_EQ(sim.world.httpRequests.size(), 1u);
    EXPECT_EQ(sim.world.httpRequests[0].server, u"127.0.0.1");
    EXPECT_EQ(sim.world.httpRequests[0].port, 48180);
}

TEST_F(UpdateCheck, ResultFollowsStatusAndMarkers) {
    struct Case {
        const char* name;
        HttpResponse response;
        int result;
    };
    auto status = [](std::uint32_t code, std::string body) {
        HttpResponse response;
        response.status = code;
        response.body = std::move(body);
        return response;
    };
    HttpResponse refused;
    refused.connects = false;
    HttpResponse silent;
    silent.answers = false;
    HttpResponse broken = Ok("VELMOR|1");
    broken.breaksAfterBody = true;
    HttpResponse pieces = Ok("....VELMOR|1....");
    pieces.bytesPerRead = 3;  // the marker arrives in pieces
    HttpResponse unannounced = Ok("VELMOR|1");
    unannounced.contentLength = -2;  // chunked, or read until the server closes
    HttpResponse truncated = Ok("VELMOR|1");
    truncated.contentLength = 100;  // the connection ends before the announced length
    const Case cases[] = {
        {"marker 0", Ok("VELMOR|0"), 0},
        {"marker 1 inside a page", Ok("<html>VELMOR|1</html>"), 1},
        {"marker 2", Ok("VELMOR|2"), 2},
        {"2 before 1 in the body", Ok("VELMOR|2 VELMOR|1"), 1},
        {"1 before 0 in the body", Ok("VELMOR|1 VELMOR|0"), 0},
        {"lower case", Ok("velmor|1"), -1},
        {"mixed case", Ok("Velmor|1"), -1},
        {"no marker", Ok("VELMOR|3 VELMOR| 1"), -1},
        {"empty body", Ok(""), -1},
        {"marker after a zero byte", Ok(std::string("\0\0VELMOR|1", 10)), 1},
        {"marker in pieces", pieces, 1},
        {"no length announced", unannounced, 1},
        {"body shorter than announced", truncated, -1},
        {"404 with a marker", status(404, "VELMOR|1"), -1},
        {"302 with a marker", status(302, "VELMOR|1"), -1},
        {"500 with a marker", status(500, "VELMOR|1"), -1},
        {"199 with a marker", status(199, "VELMOR|1"), -1},
        {"206 with a marker", status(206, "VELMOR|1"), 1},
        {"204", status(204, ""), -1},
        {"refused connection", refused, -1},
        {"no answer", silent, -1},
        {"broken transfer", broken, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Answer(c.response);
        EXPECT_EQ(checker.CheckForUpdate(), c.result);
        ExpectEverythingClosed();
    }
    EXPECT_EQ(sim.world.httpRequests.size(), std::size(cases));
}

TEST_F(UpdateCheck, BodyLargerThanTheCapIsDropped) {
    // With its length announced (refused before reading) and without (refused while reading).
    for (std::int64_t announced : {std::int64_t{-1}, std::int64_t{-2}}) {
        SCOPED_TRACE(announced);
        HttpResponse fits = Ok(std::string(kUpdateBodyCap - 8, 'x') + "VELMOR|1");
        fits.contentLength = announced;
        Answer(fits);
        EXPECT_EQ(checker.CheckForUpdate(), 1);
        HttpResponse tooLarge = Ok(std::string(kUpdateBodyCap, 'x') + "VELMOR|1");
        tooLarge.contentLength = announced;
        Answer(tooLarge);
        EXPECT_EQ(checker.CheckForUpdate(), -1);
        ExpectEverythingClosed();
    }
}

TEST_F(UpdateCheck, EveryWaitIsBounded) {
    Answer(Ok("VELMOR|1"));
    checker.CheckForUpdate();
    // WinHTTP takes 0 as "wait for ever".
    for (int timeout : sim.network.timeouts) EXPECT_GT(timeout, 0);
    ASSERT_EQ(sim.network.options.count(w32::kWinHttpOptionReceiveResponseTimeout), 1u);
    const auto headers = sim.network.options[w32::kWinHttpOptionReceiveResponseTimeout];
    EXPECT_GT(headers, 0u);
    const auto& t = sim.network.timeouts;
    EXPECT_LE(t[0] + t[1] + t[2] + static_cast<int>(headers), 15000) << "until the answer's headers";
}

TEST_F(UpdateCheck, TricklingServerIsLeftAtTheDeadline) {
    HttpResponse trickle = Ok(std::string(100, '.') + "VELMOR|1");
    trickle.bytesPerRead = 1;
    trickle.msPerRead = 1000;  // each byte takes a second, within the receive time-out
    Answer(trickle);
    std::int64_t before = 0;
    sim.clock.GetSystemTimeAsFileTime(&before);
    EXPECT_EQ(checker.CheckForUpdate(), -1);
    std::int64_t after = 0;
    sim.clock.GetSystemTimeAsFileTime(&after);
    const std::int64_t heldMs = (after - before) / 10000;
    EXPECT_GE(heldMs, UpdateTimeouts{}.readDeadlineMs);
    EXPECT_LE(heldMs, 15000);
    ExpectEverythingClosed();
}

TEST_F(UpdateCheck, TheWatchdogEndsTheExchangeAtTheOverallDeadline) {
    struct Case {
        const char* name;
        std::uint32_t msToSend;
        int result;
        std::uint64_t heldMs;
        int fired;
    };
    const std::uint64_t overall = static_cast<std::uint64_t>(UpdateTimeouts{}.overallMs);
    const Case cases[] = {
        {"a connection that hangs past every time-out", 60000, -1, overall, 1},
        {"a slow connection with time left to read", 10000, 1, 10000, 0},
        {"one that ends just before the deadline: no read is started", static_cast<std::uint32_t>(overall) - 1, -1,
         overall - 1, 0},
        {"one that would end at the deadline", static_cast<std::uint32_t>(overall), -1, overall, 1},
    };
    for (const Case& c : cases) {
        SimPlatform local;
        UpdateChecker check{local.network, local.clock, ProgramUpdateEndpoint(), UpdateTimeouts{}, &local.trace};
        HttpResponse slow = Ok("VELMOR|1");
        slow.msToSend = c.msToSend;
        local.world.httpServer = [slow](const HttpRequest&) { return slow; };
        local.world.tickCountMs = 5'000'000;
        EXPECT_EQ(check.CheckForUpdate(), c.result) << c.name;
        EXPECT_EQ(local.world.tickCountMs - 5'000'000, c.heldMs) << c.name;
        EXPECT_EQ(local.network.watchdogsFired, c.fired) << c.name;
        // The watchdog says that it ended the exchange, once; the failed check has its own line.
        std::size_t deadlineLines = 0;
        for (const Text& line : local.world.debugLines) {
            deadlineLines += std::string(line.begin(), line.end()).find("overall deadline") != std::string::npos;
        }
        EXPECT_EQ(deadlineLines, static_cast<std::size_t>(c.fired)) << c.name;
        // The request is closed once, by the watchdog or by the checker.
        EXPECT_EQ(local.world.handles.OpenCount(HandleKind::Internet), 0u) << c.name;
        EXPECT_EQ(local.world.handles.BadCloses(), 0u) << c.name;
    }
}

TEST_F(UpdateCheck, AClockSetBackDuringTheExchangeDoesNotLengthenIt) {
    HttpResponse trickle = Ok(std::string(100, '.') + "VELMOR|1");
    trickle.bytesPerRead = 1;
    trickle.msPerRead = 1000;
    sim.world.httpServer = [this, trickle](const HttpRequest&) {
        sim.world.fileTimeUtc -= 10LL * 86400 * 10'000'000;  // the user sets the clock back ten days
        return trickle;
    };
    const std::uint64_t before = sim.world.tickCountMs;
    EXPECT_EQ(checker.CheckForUpdate(), -1);
    const std::uint64_t heldMs = sim.world.tickCountMs - before;
    EXPECT_GE(heldMs, static_cast<std::uint64_t>(UpdateTimeouts{}.readDeadlineMs));
    EXPECT_LE(heldMs, static_cast<std::uint64_t>(UpdateTimeouts{}.overallMs));
    ExpectEverythingClosed();
}

TEST_F(UpdateCheck, WithoutAWatchdogNothingIsAsked) {
    Answer(Ok("VELMOR|1"));
    sim.network.watchdogsStart = false;
    EXPECT_EQ(checker.CheckForUpdate(), -1);
    EXPECT_TRUE(sim.world.httpRequests.empty());
    ExpectEverythingClosed();
}

TEST(FindUpdateMarker, TriesTheMarkersInOrder) {
    EXPECT_EQ(FindUpdateMarker("VELMOR|2VELMOR|1VELMOR|0"), 0);
    EXPECT_EQ(FindUpdateMarker("VELMOR|2VELMOR|1"), 1);
    EXPECT_EQ(FindUpdateMarker("VELMOR|"), -1);
    EXPECT_EQ(FindUpdateMarker("ELMOR|1"), -1);
}

}  // namespace
}  // namespace kx
