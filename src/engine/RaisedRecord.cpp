#include "engine/RaisedRecord.h"

#include <cstring>

#include "engine/Priority.h"

namespace kx {

namespace {

// Layout: "KXR2", process id, creation time, earlier class, raised class,
// session, path length in characters, the path (UTF-16 LE), thread count,
// then per thread: id (4), group (2), number (1), Ex flag (1).
constexpr char kMagic[4] = {'K', 'X', 'R', '2'};
constexpr std::size_t kFixedBytes = 4 + 4 + 8 + 4 + 4 + 4 + 4 + 4;
constexpr std::size_t kThreadBytes = 8;

template <typename T>
void Put(std::vector<std::uint8_t>& out, T value) {
    std::uint8_t bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    out.insert(out.end(), bytes, bytes + sizeof(T));
}

// Reads a T at *at when it lies within size; false (nothing read) otherwise.
template <typename T>
bool Get(const std::uint8_t* data, std::size_t size, std::size_t* at, T* value) {
    if (size - *at < sizeof(T)) return false;
    std::memcpy(value, data + *at, sizeof(T));
    *at += sizeof(T);
    return true;
}

bool IsPriorityClass(std::uint32_t priorityClass) {
    return priorityClass != 0 && PriorityClassOfLevel(PriorityLevelOfClass(priorityClass)) == priorityClass;
}

}  // namespace

std::size_t MaxRaisedRecordBytes() {
    return kFixedBytes + kMaxRecordedPathChars * 2 + kMaxRecordedThreads * kThreadBytes;
}

std::vector<std::uint8_t> EncodeRaisedRecord(const RaisedRecord& record) {
    std::vector<std::uint8_t> out(kMagic, kMagic + 4);
    Put(out, record.processId);
    Put(out, record.creationTime);
    Put(out, record.earlierClass);
    Put(out, record.raisedClass);
    Put(out, record.sessionId);
    Put(out, static_cast<std::uint32_t>(record.imagePath.size()));
    for (const char16_t c : record.imagePath) Put(out, static_cast<std::uint16_t>(c));
    Put(out, static_cast<std::uint32_t>(record.threads.size()));
    for (const ThreadIdeal& t : record.threads) {
        Put(out, t.threadId);
        Put(out, t.ideal.group);
        Put(out, t.ideal.number);
        Put(out, static_cast<std::uint8_t>(t.ex ? 1 : 0));
    }
    return out;
}

bool DecodeRaisedRecord(const std::uint8_t* data, std::size_t size, RaisedRecord* record) {
    if (data == nullptr || size < kFixedBytes || size > MaxRaisedRecordBytes() ||
        std::memcmp(data, kMagic, 4) != 0) {
        return false;
    }
    std::size_t at = 4;
    RaisedRecord r;
    std::uint32_t pathChars = 0;
    if (!Get(data, size, &at, &r.processId) || !Get(data, size, &at, &r.creationTime) ||
        !Get(data, size, &at, &r.earlierClass) || !Get(data, size, &at, &r.raisedClass) ||
        !Get(data, size, &at, &r.sessionId) || !Get(data, size, &at, &pathChars) ||
        pathChars > kMaxRecordedPathChars || size - at < pathChars * std::size_t{2}) {
        return false;
    }
    r.imagePath.resize(pathChars);
    for (char16_t& c : r.imagePath) {
        std::uint16_t unit = 0;
        Get(data, size, &at, &unit);
        c = static_cast<char16_t>(unit);
    }
    std::uint32_t count = 0;
    if (!Get(data, size, &at, &count) || count > kMaxRecordedThreads || size - at != count * kThreadBytes) {
        return false;
    }
    r.threads.resize(count);
    for (ThreadIdeal& t : r.threads) {
        std::uint8_t ex = 0;
        Get(data, size, &at, &t.threadId);
        Get(data, size, &at, &t.ideal.group);
        Get(data, size, &at, &t.ideal.number);
        Get(data, size, &at, &ex);
        t.ex = ex != 0;
    }
    *record = std::move(r);
    return true;
}

RestoreVerdict DecideRestore(const RaisedRecord& record, const FoundProcess& found, std::uint32_t ownSessionId) {
    // Never a class above high, whatever the record says: realtime could
    // starve the machine, and no class off the scale.
    if (!IsPriorityClass(record.earlierClass) || PriorityLevelOfClass(record.earlierClass) > 2) {
        return RestoreVerdict::NotRestorable;
    }
    if (!found.opened) return RestoreVerdict::Gone;
    if (!found.creationKnown || found.creationTime != record.creationTime || record.imagePath.empty() ||
        found.imagePath != record.imagePath) {
        return RestoreVerdict::OtherProcess;
    }
    if (record.sessionId != ownSessionId || !found.sessionKnown || found.sessionId != record.sessionId) {
        return RestoreVerdict::OtherSession;
    }
    if (found.priorityClass == 0 || found.priorityClass != record.raisedClass) return RestoreVerdict::ClassChanged;
    return RestoreVerdict::PutBack;
}

const char* RestoreVerdictText(RestoreVerdict verdict) {
    switch (verdict) {
        case RestoreVerdict::PutBack: return "put back";
        case RestoreVerdict::Gone: return "left alone: it has ended";
        case RestoreVerdict::OtherProcess: return "left alone: another process has its id";
        case RestoreVerdict::OtherSession: return "left alone: it belongs to another session";
        case RestoreVerdict::ClassChanged: return "left alone: its class changed since it was raised";
        case RestoreVerdict::NotRestorable: return "left alone: the recorded class is above high or none";
    }
    return "left alone";
}

}  // namespace kx
