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

UpdateChecker::UpdateChecker(INetwork& network, IClock& clock, UpdateEndpoint endpoint, UpdateTimeouts timeouts)
    : network_(network), clock_(clock), endpoint_(std::move(endpoint)), timeouts_(timeouts) {}

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

std::int64_t UpdateChecker::ElapsedMs(std::int64_t startFileTime) {
    std::int64_t now = 0;
    clock_.GetSystemTimeAsFileTime(&now);
    return (now - startFileTime) / 10000;
}

bool UpdateChecker::FetchAnswer(std::string* body) {
    std::int64_t start = 0;
    clock_.GetSystemTimeAsFileTime(&start);

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
    // Version null: HTTP/1.1; flags 0: unencrypted.
    OwnedInternetHandle request(network_,
                                network_.WinHttpOpenRequest(connection.get(), u"GET", UpdateTarget(), nullptr, 0));
    if (!request) return false;
    if (!network_.WinHttpSetOption(request.get(), w32::kWinHttpOptionRedirectPolicy,
                                   w32::kWinHttpOptionRedirectPolicyNever) ||
        !network_.WinHttpSetOption(request.get(), w32::kWinHttpOptionReceiveResponseTimeout,
                                   static_cast<std::uint32_t>(timeouts_.headersMs))) {
        return false;
    }
    if (!network_.WinHttpSendRequest(request.get())) return false;
    if (!network_.WinHttpReceiveResponse(request.get())) return false;
    std::uint32_t status = 0;
    if (!network_.WinHttpQueryStatusCode(request.get(), &status)) return false;
    if (status < 200 || status > 299) return false;
    // A body that ends before the length its answer announced is a broken
    // transfer, also where the client library reports the early close as a
    // plain end of data.
    std::uint32_t announced = 0;
    const bool hasLength = network_.WinHttpQueryContentLength(request.get(), &announced);
    if (hasLength && announced > kUpdateBodyCap) return false;

    std::array<char, 8192> buffer{};
    for (;;) {
        if (ElapsedMs(start) > timeouts_.readDeadlineMs) return false;
        std::uint32_t read = 0;
        if (!network_.WinHttpReadData(request.get(), buffer.data(), static_cast<std::uint32_t>(buffer.size()),
                                      &read)) {
            return false;
        }
        if (read == 0) return !hasLength || body->size() == announced;
        if (read > buffer.size() || body->size() + read > kUpdateBodyCap) return false;
        body->append(buffer.data(), read);
    }
}

}  // namespace kx
