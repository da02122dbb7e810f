#include "update/UpdateChecker.h"

#include <array>
#include <exception>
#include <utility>

#include "config/Contract.h"

namespace kx {

Text UpdateTarget() { return Text(u"/downloads/update/?product=kestrix&version=") + contract::kProductVersion; }

int FindUpdateMarker(const std::string& body) {
    static const char* const kMarkers[] = {"VELMOR|0", "VELMOR|1", "VELMOR|2"};
    for (int result = 0; result < 3; ++result) {
        if (body.find(kMarkers[result]) != std::string::npos) return result;
    }
    return kUpdateNoAnswer;
}

UpdateChecker::UpdateChecker(INetwork& network, IClock& clock, UpdateEndpoint endpoint, UpdateTimeouts timeouts,
                             DebugTrace* trace)
    : network_(network), clock_(clock), endpoint_(std::move(endpoint)), timeouts_(timeouts), trace_(trace) {}

int UpdateChecker::CheckForUpdate() noexcept {
    const char* why = "an unknown failure";
    try {
        std::string body;
        if (FetchAnswer(&body)) {
            const int result = FindUpdateMarker(body);
            if (result != kUpdateNoAnswer) return result;
            why = "the answer holds no marker";
        } else {
            why = "no 2xx answer from the update server";
        }
    } catch (const std::exception& failure) {
        why = failure.what();
    } catch (...) {
    }
    if (trace_ != nullptr) trace_->Line("update.check", why);
    return kUpdateNoAnswer;
}

std::uint64_t UpdateChecker::ElapsedMs(std::uint64_t startMs) { return clock_.GetTickCount64() - startMs; }

namespace {

// The request handle under its watchdog: whichever ends first, the handle is
// closed exactly once.
class WatchedRequest {
public:
    WatchedRequest(INetwork& network, KHandle request, std::uint32_t ms)
        : network_(network), request_(request), watchdog_(request != 0 ? network.StartCloseWatchdog(request, ms) : 0) {}
    ~WatchedRequest() { Finish(); }
    WatchedRequest(const WatchedRequest&) = delete;
    WatchedRequest& operator=(const WatchedRequest&) = delete;

    KHandle get() const { return request_; }
    bool Armed() const { return watchdog_ != 0; }
    // Stops the watchdog and closes the request; true when the watchdog had
    // closed it at the deadline.
    bool Finish() {
        if (finished_) return fired_;
        finished_ = true;
        if (watchdog_ != 0) fired_ = network_.StopCloseWatchdog(watchdog_);
        if (!fired_ && request_ != 0) network_.WinHttpCloseHandle(request_);
        return fired_;
    }

private:
    INetwork& network_;
    KHandle request_;
    KHandle watchdog_;
    bool finished_ = false;
    bool fired_ = false;
};

}  // namespace

bool UpdateChecker::FetchAnswer(std::string* body) {
    const std::uint64_t start = clock_.GetTickCount64();

    // The machine's WinHTTP proxy configuration applies (direct when there is none).
    OwnedInternetHandle session(network_, network_.WinHttpOpen(kUpdateUserAgent, w32::kWinHttpAccessTypeDefaultProxy));
    if (!session) return false;
    // Without its bounds the exchange could hold the UI thread indefinitely,
    // so a refused setting ends it here.
    if (!network_.WinHttpSetTimeouts(session.get(), timeouts_.resolveMs, timeouts_.connectMs, timeouts_.sendMs,
                                     timeouts_.receiveMs)) {
        return false;
    }
    OwnedInternetHandle connection(network_, network_.WinHttpConnect(session.get(), endpoint_.host, endpoint_.port));
    if (!connection) return false;
    const std::uint64_t used = ElapsedMs(start);
    const auto overall = static_cast<std::uint64_t>(timeouts_.overallMs);
    if (used >= overall) return false;
    // Version null: HTTP/1.1; flags 0: unencrypted.
    WatchedRequest request(network_, network_.WinHttpOpenRequest(connection.get(), u"GET", UpdateTarget(), nullptr, 0),
                           static_cast<std::uint32_t>(overall - used));
    if (request.get() == 0 || !request.Armed()) return false;
    const bool answered = Exchange(request.get(), start, body);
    // An exchange the watchdog ended is a failed one, whatever its last call said.
    if (request.Finish()) {
        if (trace_ != nullptr) trace_->Line("update", "the update server did not answer within the overall deadline");
        return false;
    }
    return answered;
}

bool UpdateChecker::Exchange(KHandle request, std::uint64_t startMs, std::string* body) {
    if (!network_.WinHttpSetOption(request, w32::kWinHttpOptionRedirectPolicy, w32::kWinHttpOptionRedirectPolicyNever) ||
        !network_.WinHttpSetOption(request, w32::kWinHttpOptionReceiveResponseTimeout,
                                   static_cast<std::uint32_t>(timeouts_.headersMs))) {
        return false;
    }
    if (!network_.WinHttpSendRequest(request)) return false;
    if (!network_.WinHttpReceiveResponse(request)) return false;
    std::uint32_t status = 0;
    if (!network_.WinHttpQueryStatusCode(request, &status)) return false;
    if (status < 200 || status > 299) return false;
    // A body that ends before the length its answer announced is a broken
    // transfer, also where the client library reports the early close as a
    // plain end of data.
    std::uint32_t announced = 0;
    const bool hasLength = network_.WinHttpQueryContentLength(request, &announced);
    if (hasLength && announced > kUpdateBodyCap) return false;

    std::array<char, 8192> buffer{};
    for (;;) {
        if (ElapsedMs(startMs) > static_cast<std::uint64_t>(timeouts_.readDeadlineMs)) return false;
        std::uint32_t read = 0;
        if (!network_.WinHttpReadData(request, buffer.data(), static_cast<std::uint32_t>(buffer.size()), &read)) {
            return false;
        }
        if (read == 0) return !hasLength || body->size() == announced;
        if (read > buffer.size() || body->size() + read > kUpdateBodyCap) return false;
        body->append(buffer.data(), read);
    }
}

}  // namespace kx
