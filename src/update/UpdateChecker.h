// The update query: one HTTP/1.1 GET to the maker's update server over
// WinHTTP, and the three answer markers.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ClockApi.h"
#include "platform/DebugApi.h"
#include "platform/NetworkApi.h"
#include "platform/Types.h"

namespace kx {

// Where the query goes. The program asks its own update server on the
// standard port; the integration tests build a variant that asks a local one.
struct UpdateEndpoint {
    Text host;
    std::uint16_t port = 80;
};

// The endpoint and first counter value this program was built with
// (UpdateBuild.cpp).
extern const char16_t kUpdateHost[];
extern const std::uint16_t kUpdatePort;
extern const std::int32_t kUpdateFirstCount;
UpdateEndpoint ProgramUpdateEndpoint();

// "/downloads/update/?product=kestrix&version=" and the product's version.
Text UpdateTarget();
constexpr char16_t kUpdateUserAgent[] = u"Mozilla/4.0 (compatible; VELMOR)";

// Bounds of the exchange. The UI thread waits for it, so a dead or slow server
// must not hold it beyond 15 seconds: name resolution, connection and sending
// are each bounded, the answer's headers are bounded, each read of the body
// is bounded, and no read is started once the whole exchange has run for
// readDeadlineMs. A watchdog closes the request at overallMs whatever is
// under way, since a client library's own time-outs do not bound every wait
// (a connection in progress, a proxy, a resolver). Both count on the
// monotonic clock, so no change of the clock moves them. An answer larger
// than kUpdateBodyCap is no answer of the update server and is dropped.
struct UpdateTimeouts {
    int resolveMs = 2000;
    int connectMs = 3000;
    int sendMs = 3000;
    int receiveMs = 4000;
    int headersMs = 4000;
    int readDeadlineMs = 11000;
    int overallMs = 15000;
};
constexpr std::size_t kUpdateBodyCap = 1024 * 1024;

enum UpdateCheckResult : int {
    kUpdateNoAnswer = -1,
    kUpdateNone = 0,
    kUpdateAvailable = 1,
    kUpdateOther = 2,
};

// "VELMOR|0", else "VELMOR|1", else "VELMOR|2", searched case-sensitively
// anywhere in the body's bytes; -1 when none is there.
int FindUpdateMarker(const std::string& body);

class UpdateChecker {
public:
    // trace, when given, receives a line for a check without a recognised
    // answer and when the watchdog ends an exchange.
    UpdateChecker(INetwork& network, IClock& clock, UpdateEndpoint endpoint = ProgramUpdateEndpoint(),
                  UpdateTimeouts timeouts = UpdateTimeouts{}, DebugTrace* trace = nullptr);

    // Blocks until the exchange has ended. -1 for every failure: no
    // connection, a time-out, a broken transfer, a status other than 2xx.
    int CheckForUpdate() noexcept;

    const UpdateEndpoint& Endpoint() const { return endpoint_; }

private:
    // The body of a 2xx answer; false for everything else.
    bool FetchAnswer(std::string* body);
    // The exchange on an open request, up to the end of its body.
    bool Exchange(KHandle request, std::uint64_t startMs, std::string* body);
    std::uint64_t ElapsedMs(std::uint64_t startMs);

    INetwork& network_;
    IClock& clock_;
    UpdateEndpoint endpoint_;
    UpdateTimeouts timeouts_;
    DebugTrace* trace_;
};

}  // namespace kx
