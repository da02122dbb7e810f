// The restore decision over an arbitrary record and arbitrary facts found
// about a process: it puts a process back only when every fact matches the
// record and the class to set is a priority class no higher than high.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "engine/Priority.h"
#include "engine/RaisedRecord.h"

namespace {

// Takes the next T from the input, or zero when it has run out.
template <typename T>
T Take(const std::uint8_t*& data, std::size_t& size) {
    T value{};
    const std::size_t n = size < sizeof(T) ? size : sizeof(T);
    std::memcpy(&value, data, n);
    data += n;
    size -= n;
    return value;
}

// A small path chosen by one byte, so that matches and mismatches both come up.
kx::Text PathOf(std::uint8_t choice) {
    static const char16_t* const kPaths[] = {u"", u"C:\\a.exe", u"C:\\A.exe", u"C:\\b.exe"};
    return kPaths[choice % 4];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kx::RaisedRecord record;
    record.processId = Take<std::uint32_t>(data, size);
    record.creationTime = Take<std::uint8_t>(data, size);
    record.earlierClass = Take<std::uint32_t>(data, size);
    record.raisedClass = Take<std::uint32_t>(data, size);
    record.sessionId = Take<std::uint8_t>(data, size) % 4;
    record.imagePath = PathOf(Take<std::uint8_t>(data, size));

    kx::FoundProcess found;
    const std::uint8_t flags = Take<std::uint8_t>(data, size);
    found.opened = (flags & 1) != 0;
    found.creationKnown = (flags & 2) != 0;
    found.sessionKnown = (flags & 4) != 0;
    found.creationTime = Take<std::uint8_t>(data, size);
    found.sessionId = Take<std::uint8_t>(data, size) % 4;
    found.imagePath = PathOf(Take<std::uint8_t>(data, size));
    found.priorityClass = Take<std::uint32_t>(data, size);
    const std::uint32_t ownSession = Take<std::uint8_t>(data, size) % 4;

    const kx::RestoreVerdict verdict = kx::DecideRestore(record, found, ownSession);
    if (kx::RestoreVerdictText(verdict) == nullptr) std::abort();
    if (verdict != kx::RestoreVerdict::PutBack) return 0;
    const bool matches = found.opened && found.creationKnown && found.creationTime == record.creationTime &&
                         !record.imagePath.empty() && found.imagePath == record.imagePath && found.sessionKnown &&
                         found.sessionId == record.sessionId && record.sessionId == ownSession &&
                         found.priorityClass != 0 && found.priorityClass == record.raisedClass;
    const kx::PriorityLevel earlier = kx::PriorityLevelOfClass(record.earlierClass);
    const bool classAllowed =
        record.earlierClass != 0 && kx::PriorityClassOfLevel(earlier) == record.earlierClass && earlier <= 2;
    if (!matches || !classAllowed) std::abort();
    return 0;
}
