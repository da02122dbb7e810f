// The record of the process KestrixTray raised last, as the current user's
// key keeps it for a later restore, and the decision whether a process found
// under its id may be put back. Both read what any program of the user may
// have written, so both are total over arbitrary input and bounded in cost.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/IdealProcessor.h"
#include "platform/Types.h"

namespace kx {

// Threads kept at most: a record of more is not believed.
constexpr std::size_t kMaxRecordedThreads = 4096;
// The longest image path a record carries, in characters (Windows' own limit).
constexpr std::size_t kMaxRecordedPathChars = 32767;

struct RaisedRecord {
    std::uint32_t processId = 0;
    std::int64_t creationTime = 0;
    std::uint32_t earlierClass = 0;  // the priority class it goes back to
    std::uint32_t raisedClass = 0;   // the class KestrixTray gave it
    std::uint32_t sessionId = 0;     // the session it ran in
    Text imagePath;                  // its executable, as ProcessImagePath reads it
    std::vector<ThreadIdeal> threads;  // each moved thread's ideal processor before its first move
};

// The most bytes an encoded record takes.
std::size_t MaxRaisedRecordBytes();
std::vector<std::uint8_t> EncodeRaisedRecord(const RaisedRecord& record);
// False for bytes that are not exactly one record of this layout (a record
// of an earlier layout included), for a path past the cap, and for more
// threads than the cap.
bool DecodeRaisedRecord(const std::uint8_t* data, std::size_t size, RaisedRecord* record);

// What a restore finds under the record's process id.
struct FoundProcess {
    bool opened = false;  // opened with the rights to read and set its class
    bool creationKnown = false;
    std::int64_t creationTime = 0;
    bool sessionKnown = false;
    std::uint32_t sessionId = 0;
    Text imagePath;  // empty when it cannot be read
    std::uint32_t priorityClass = 0;  // 0 when it cannot be read
};

enum class RestoreVerdict {
    PutBack,         // the same process, at the class it was given: back to the earlier class
    Gone,            // no process to open under that id
    OtherProcess,    // another creation time or image, or an image that cannot be read
    OtherSession,    // recorded in, or now running in, a session other than this program's
    ClassChanged,    // the program (or someone) set another class since
    NotRestorable,   // the earlier class is no priority class, or one above high
};

// Whether the found process is put back to the record's earlier class: only
// when every fact matches and the class to set is at most high.
RestoreVerdict DecideRestore(const RaisedRecord& record, const FoundProcess& found, std::uint32_t ownSessionId);
// The verdict in words, for the debug output.
const char* RestoreVerdictText(RestoreVerdict verdict);

}  // namespace kx
