#include "sim/SimNetwork.h"

#include <algorithm>
#include <cstring>

namespace kx::sim {

SimNetwork::Node* SimNetwork::Get(KHandle handle, int level) {
    const auto* entry = world_.handles.Find(handle, HandleKind::Internet);
    if (entry == nullptr) return nullptr;
    Node& node = nodes_[entry->object];
    return node.level == level ? &node : nullptr;
}

KHandle SimNetwork::WinHttpOpen(const Text& userAgent, std::uint32_t accessType) {
    Node node{0, 0, {}, {}};
    node.request.userAgent = userAgent;
    node.request.accessType = accessType;
    nodes_.push_back(node);
    return world_.handles.Open(HandleKind::Internet, nodes_.size() - 1);
}

bool SimNetwork::WinHttpSetTimeouts(KHandle handle, int resolveMs, int connectMs, int sendMs, int receiveMs) {
    if (world_.handles.Find(handle, HandleKind::Internet) == nullptr) return false;
    timeouts[0] = resolveMs;
    timeouts[1] = connectMs;
    timeouts[2] = sendMs;
    timeouts[3] = receiveMs;
    return true;
}

bool SimNetwork::WinHttpSetOption(KHandle handle, std::uint32_t option, std::uint32_t value) {
    const auto* entry = world_.handles.Find(handle, HandleKind::Internet);
    if (entry == nullptr) return false;
    options[option] = value;
    if (option == w32::kWinHttpOptionRedirectPolicy) {
        nodes_[entry->object].request.redirectPolicy = value;
        nodes_[entry->object].request.redirectPolicySet = true;
    }
    return true;
}

KHandle SimNetwork::WinHttpConnect(KHandle session, const Text& serverName, std::uint16_t port) {
    Node* s = Get(session, 0);
    if (s == nullptr) return 0;
    Node node{1, world_.handles.Find(session, HandleKind::Internet)->object, s->request, {}};
    node.request.server = serverName;
    node.request.port = port;
    nodes_.push_back(node);
    return world_.handles.Open(HandleKind::Internet, nodes_.size() - 1);
}

KHandle SimNetwork::WinHttpOpenRequest(KHandle connection, const Text& verb, const Text& objectName,
                                       const Text* version, std::uint32_t flags) {
    Node* c = Get(connection, 1);
    if (c == nullptr) return 0;
    Node node{2, world_.handles.Find(connection, HandleKind::Internet)->object, c->request, {}};
    node.request.verb = verb;
    node.request.target = objectName;
    node.request.version = version != nullptr ? *version : Text{};
    node.request.flags = flags;
    nodes_.push_back(node);
    return world_.handles.Open(HandleKind::Internet, nodes_.size() - 1);
}

bool SimNetwork::Pass(KHandle request, std::uint64_t ms) {
    for (Watchdog& w : watchdogs_) {
        if (!w.live || w.fired || w.handle != request || w.deadlineMs > world_.tickCountMs + ms) continue;
        const std::uint64_t until = std::max(w.deadlineMs, world_.tickCountMs);
        world_.fileTimeUtc += static_cast<std::int64_t>(until - world_.tickCountMs) * 10000;
        world_.tickCountMs = until;
        w.fired = true;
        ++watchdogsFired;
        world_.handles.Close(request, HandleKind::Internet);
        return false;
    }
    world_.fileTimeUtc += static_cast<std::int64_t>(ms) * 10000;
    world_.tickCountMs += ms;
    return true;
}

bool SimNetwork::WinHttpSendRequest(KHandle request) {
    Node* r = Get(request, 2);
    if (r == nullptr) return false;
    world_.httpRequests.push_back(r->request);
    r->response = world_.httpServer ? world_.httpServer(r->request) : HttpResponse{false, false, 0, {}};
    if (!r->response.connects) {
        Pass(request, static_cast<std::uint64_t>(std::max(timeouts[1], 0)));
        return false;
    }
    if (!Pass(request, r->response.msToSend)) return false;
    r->sent = true;
    return true;
}

bool SimNetwork::WinHttpReceiveResponse(KHandle request) {
    Node* r = Get(request, 2);
    if (r == nullptr || !r->sent) return false;
    if (!r->response.answers) {
        auto it = options.find(w32::kWinHttpOptionReceiveResponseTimeout);
        const int wait = it != options.end() ? static_cast<int>(it->second) : timeouts[3];
        Pass(request, static_cast<std::uint64_t>(std::max(wait, 0)));
        return false;
    }
    r->received = true;
    return true;
}

bool SimNetwork::WinHttpQueryStatusCode(KHandle request, std::uint32_t* status) {
    Node* r = Get(request, 2);
    if (r == nullptr || !r->received || status == nullptr) return false;
    *status = r->response.status;
    return true;
}

bool SimNetwork::WinHttpQueryContentLength(KHandle request, std::uint32_t* length) {
    Node* r = Get(request, 2);
    if (r == nullptr || !r->received || length == nullptr) return false;
    const std::int64_t announced = r->response.contentLength;
    if (announced == -2) return false;
    *length = static_cast<std::uint32_t>(announced == -1 ? r->response.body.size() : announced);
    return true;
}

bool SimNetwork::WinHttpReadData(KHandle request, void* buffer, std::uint32_t toRead, std::uint32_t* read) {
    Node* r = Get(request, 2);
    if (r == nullptr || !r->received) return false;
    const std::string& body = r->response.body;
    if (!Pass(request, r->response.msPerRead)) return false;
    if (r->response.breaksAfterBody && r->readPosition >= body.size()) return false;
    std::size_t n = std::min<std::size_t>(toRead, body.size() - std::min(body.size(), r->readPosition));
    if (r->response.bytesPerRead != 0) n = std::min(n, r->response.bytesPerRead);
    if (n != 0) std::memcpy(buffer, body.data() + r->readPosition, n);
    r->readPosition += n;
    if (read != nullptr) *read = static_cast<std::uint32_t>(n);
    return true;
}

bool SimNetwork::WinHttpCloseHandle(KHandle handle) { return world_.handles.Close(handle, HandleKind::Internet); }

KHandle SimNetwork::StartCloseWatchdog(KHandle handle, std::uint32_t ms) {
    if (!watchdogsStart) return 0;
    watchdogs_.push_back(Watchdog{handle, world_.tickCountMs + ms, true, false});
    return watchdogs_.size();  // the watchdog's number, from 1
}

bool SimNetwork::StopCloseWatchdog(KHandle watchdog) {
    if (watchdog == 0 || watchdog > watchdogs_.size() || !watchdogs_[watchdog - 1].live) return false;
    watchdogs_[watchdog - 1].live = false;
    return watchdogs_[watchdog - 1].fired;
}

void SimClock::GetLocalTime(SystemTime* time) {
    if (time == nullptr) return;
    std::int64_t ticks = world_.fileTimeUtc + world_.localOffset100ns;
    std::int64_t ms = ticks / 10000;
    std::int64_t days1601 = ms / 86400000;
    std::int64_t msOfDay = ms % 86400000;
    std::int64_t z = days1601 - 134774 + 719468;  // days since 0000-03-01
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    time->wYear = static_cast<std::uint16_t>(y + (m <= 2));
    time->wMonth = static_cast<std::uint16_t>(m);
    time->wDay = static_cast<std::uint16_t>(d);
    time->wDayOfWeek = static_cast<std::uint16_t>((days1601 + 1) % 7);  // 1601-01-01 was a Monday
    time->wHour = static_cast<std::uint16_t>(msOfDay / 3600000);
    time->wMinute = static_cast<std::uint16_t>(msOfDay / 60000 % 60);
    time->wSecond = static_cast<std::uint16_t>(msOfDay / 1000 % 60);
    time->wMilliseconds = static_cast<std::uint16_t>(msOfDay % 1000);
}

void SimClock::GetSystemTimeAsFileTime(std::int64_t* fileTime) {
    if (fileTime != nullptr) *fileTime = world_.fileTimeUtc;
}

void SimClock::Sleep(std::uint32_t milliseconds) {
    world_.sleeps.push_back(milliseconds);
    world_.fileTimeUtc += static_cast<std::int64_t>(milliseconds) * 10000;
    world_.tickCountMs += milliseconds;
}

std::uint64_t SimClock::GetTickCount64() { return world_.tickCountMs; }

void SimDebugOutput::OutputDebugStringW(const Text& text) { world_.debugLines.push_back(text); }

long SimClock::VarDateFromStr(const Text& text, std::uint32_t lcid, std::uint32_t flags, double* date) {
    if (!world_.dateParser || date == nullptr) return static_cast<long>(0x80020005L);  // DISP_E_TYPEMISMATCH
    return world_.dateParser(text, lcid, flags, date);
}

}  // namespace kx::sim
