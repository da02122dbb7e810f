// The update check over any answer a server (or anything that answers on its
// port) can give: any status, body, announced length, cut into reads of any
// size, slow or broken, after a connection of any length. The result must be
// one of the four values, a marker result only for a whole 2xx body that
// holds it, every handle must be closed exactly once, and the UI thread must
// never be held past the overall deadline.
//
// Eight bytes of answer and a body at its 1 MiB cap.
// fuzz-cap: 1048584
// fuzz-seed: w
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sim/SimPlatform.h"
#include "update/UpdateChecker.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 8) return 0;
    kx::sim::SimPlatform sim;
    kx::sim::HttpResponse response;
    response.connects = (data[0] & 1) != 0;
    response.answers = (data[0] & 2) != 0;
    response.breaksAfterBody = (data[0] & 4) != 0;
    response.status = static_cast<std::uint32_t>(data[1] | (data[2] << 8)) % 700;
    response.bytesPerRead = data[3] % 17;
    response.msPerRead = static_cast<std::uint32_t>(data[4]) * 20;
    response.msToSend = static_cast<std::uint32_t>(data[5]) * 100;
    response.body.assign(reinterpret_cast<const char*>(data + 8), size - 8);
    switch (data[6] % 4) {
        case 0: response.contentLength = -1; break;  // the body's own size
        case 1: response.contentLength = -2; break;  // none announced
        default: response.contentLength = static_cast<std::int64_t>(data[7]) * (data[6] % 2 == 0 ? 1 : 9000); break;
    }
    sim.world.httpServer = [&response](const kx::sim::HttpRequest&) { return response; };
    kx::UpdateChecker checker(sim.network, sim.clock);

    const std::uint64_t start = sim.world.tickCountMs;
    const int result = checker.CheckForUpdate();
    if (result < -1 || result > 2) std::abort();
    if (result != -1) {
        if (response.status < 200 || response.status > 299) std::abort();
        if (result != kx::FindUpdateMarker(response.body)) std::abort();
    }
    if (sim.world.tickCountMs - start > static_cast<std::uint64_t>(kx::UpdateTimeouts{}.overallMs)) std::abort();
    if (sim.world.handles.OpenCount() != 0 || sim.world.handles.BadCloses() != 0) std::abort();
    return 0;
}
