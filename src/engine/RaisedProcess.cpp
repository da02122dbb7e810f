#include "engine/RaisedProcess.h"

#include <algorithm>
#include <string>

#include "config/WindowsVersion.h"

namespace kx {

const char16_t kRaisedRecordKey[] = u"Software\\VELMOR\\Kestrix";
const char16_t kRaisedRecordValue[] = u"RaisedProcess";

namespace {

// Read its class, creation time and image, and set its class.
constexpr std::uint32_t kRestoreRights = w32::kProcessQueryLimitedInformation | w32::kProcessSetInformation;

}  // namespace

FoundProcess RaisedProcessKeeper::Inspect(KHandle process, std::uint32_t processId) {
    FoundProcess found;
    found.opened = true;
    found.creationKnown = processes_.GetProcessCreationTime(process, &found.creationTime);
    // The id stays with this process while its handle is open.
    found.sessionKnown = processes_.ProcessIdToSessionId(processId, &found.sessionId);
    found.imagePath = ProcessImagePath(inspection_, process, GetWindowsVersionIndex(inspection_.system));
    found.priorityClass = processes_.GetPriorityClass(process);
    return found;
}

void RaisedProcessKeeper::Raised(const AccelerationState& state, PriorityLevel level) {
    try {
        const std::uint32_t raisedClass = PriorityClassOfLevel(level);
        if (!settings_.RegReadBool(u"RestoreOnExit", false) || state.lastProcess == 0 || raisedClass == 0 ||
            state.givenClass != raisedClass) {
            Clear();
            return;
        }
        OwnedHandle process(processes_, processes_.OpenProcess(w32::kProcessQueryLimitedInformation, false,
                                                               state.lastProcess));
        if (!process) {
            Clear();
            return;
        }
        const FoundProcess found = Inspect(process.get(), state.lastProcess);
        // A process that cannot be told apart from another later is not recorded.
        if (!found.creationKnown || !found.sessionKnown || found.imagePath.empty() ||
            found.imagePath.size() > kMaxRecordedPathChars) {
            trace_.Line("restore", "process " + std::to_string(state.lastProcess) +
                                       " cannot be recorded: its creation time, session or image cannot be read");
            Clear();
            return;
        }
        RaisedRecord record;
        record.processId = state.lastProcess;
        record.creationTime = found.creationTime;
        record.sessionId = found.sessionId;
        record.imagePath = found.imagePath;
        record.earlierClass = PriorityClassOfLevel(state.lastLevel);
        record.raisedClass = raisedClass;
        // Another window of the same process: its threads' first processors stay.
        if (record_ && record_->processId == record.processId && record_->creationTime == record.creationTime) {
            record.threads = std::move(record_->threads);
        }
        record_ = std::move(record);
        Store();
    } catch (...) {
        trace_.Line("restore", "the raised process could not be recorded");
    }
}

void RaisedProcessKeeper::ThreadsMoved(const IdealMove& move) {
    try {
        if (!record_ || move.processId != record_->processId) return;
        bool added = false;
        for (const ThreadIdeal& t : move.previous) {
            const bool known = std::any_of(record_->threads.begin(), record_->threads.end(),
                                           [&](const ThreadIdeal& k) { return k.threadId == t.threadId; });
            if (known || record_->threads.size() >= kMaxRecordedThreads) continue;
            record_->threads.push_back(t);
            added = true;
        }
        if (added) Store();
    } catch (...) {
        trace_.Line("restore", "the moved threads could not be recorded");
    }
}

bool RaisedProcessKeeper::PutBack(const RaisedRecord& record) {
    OwnedHandle process(processes_, processes_.OpenProcess(kRestoreRights, false, record.processId));
    FoundProcess found;
    if (process) found = Inspect(process.get(), record.processId);
    std::uint32_t ownSession = 0;
    if (!processes_.ProcessIdToSessionId(processes_.GetCurrentProcessId(), &ownSession)) ownSession = ~record.sessionId;
    const RestoreVerdict verdict = DecideRestore(record, found, ownSession);
    if (verdict != RestoreVerdict::PutBack) {
        trace_.Line("restore", "process " + std::to_string(record.processId) + " " + RestoreVerdictText(verdict));
        return false;
    }
    if (!processes_.SetPriorityClass(process.get(), record.earlierClass)) {
        trace_.Line("restore", "SetPriorityClass failed for process " + std::to_string(record.processId));
        return false;
    }

    // Only the threads that still belong to that process.
    std::vector<ThreadIdeal> threads;
    OwnedHandle snapshot(processes_, processes_.CreateToolhelp32Snapshot(w32::kTh32csSnapThread, 0));
    if (snapshot) {
        ThreadEntry32 entry;
        entry.dwSize = 28;
        for (bool more = processes_.Thread32First(snapshot.get(), &entry); more;
             more = processes_.Thread32Next(snapshot.get(), &entry)) {
            if (entry.th32OwnerProcessID != record.processId) continue;
            for (const ThreadIdeal& t : record.threads) {
                if (t.threadId == entry.th32ThreadID) threads.push_back(t);
            }
        }
    }
    sampler_.RestoreThreadIdeals(threads);
    trace_.Event("restore", "process " + std::to_string(record.processId) + " put back to class " +
                                std::to_string(record.earlierClass) + ", " + std::to_string(threads.size()) +
                                " threads to their processors");
    return true;
}

void RaisedProcessKeeper::RestoreAtExit() {
    try {
        if (record_ && settings_.RegReadBool(u"RestoreOnExit", false)) PutBack(*record_);
        Clear();
    } catch (...) {
        trace_.Line("restore", "the raised process could not be put back at exit");
    }
}

bool RaisedProcessKeeper::RestoreLeftOver() {
    bool putBack = false;
    try {
        OwnedKey key(registry_, 0);
        KHandle opened = 0;
        if (registry_.RegOpenKeyExW(w32::kHkeyCurrentUser, kRaisedRecordKey, w32::kKeyRead, &opened) !=
            w32::kErrorSuccess) {
            return false;
        }
        key = OwnedKey(registry_, opened);
        std::uint32_t type = 0;
        std::uint32_t size = 0;
        if (registry_.RegQueryValueExW(key.get(), kRaisedRecordValue, &type, nullptr, &size) != w32::kErrorSuccess) {
            return false;
        }
        // With the feature off, a record found is removed unread: the user
        // turned the restore off, so nothing is put back.
        if (settings_.RegReadBool(u"RestoreOnExit", false)) {
            RaisedRecord record;
            std::vector<std::uint8_t> bytes(size <= MaxRaisedRecordBytes() ? size : 0);
            if (type == w32::kRegBinary && !bytes.empty() &&
                registry_.RegQueryValueExW(key.get(), kRaisedRecordValue, &type, bytes.data(), &size) ==
                    w32::kErrorSuccess &&
                DecodeRaisedRecord(bytes.data(), size, &record)) {
                putBack = PutBack(record);
            }
        }
        key.reset();
        Clear();
    } catch (...) {
        trace_.Line("restore", "the record of an earlier run could not be read");
    }
    return putBack;
}

void RaisedProcessKeeper::Store() {
    if (!record_) return;
    const std::vector<std::uint8_t> bytes = EncodeRaisedRecord(*record_);
    KHandle opened = 0;
    if (registry_.RegCreateKeyExW(w32::kHkeyCurrentUser, kRaisedRecordKey, w32::kKeyWrite, &opened) !=
        w32::kErrorSuccess) {
        trace_.Line("restore", "the current user's key cannot be written");
        return;
    }
    OwnedKey key(registry_, opened);
    if (registry_.RegSetValueExW(key.get(), kRaisedRecordValue, w32::kRegBinary, bytes.data(),
                                 static_cast<std::uint32_t>(bytes.size())) != w32::kErrorSuccess) {
        trace_.Line("restore", "the raised process could not be recorded");
    }
}

void RaisedProcessKeeper::Clear() {
    const bool hadRecord = record_.has_value();
    record_.reset();
    KHandle opened = 0;
    if (registry_.RegOpenKeyExW(w32::kHkeyCurrentUser, kRaisedRecordKey, w32::kKeyWrite, &opened) !=
        w32::kErrorSuccess) {
        return;
    }
    OwnedKey key(registry_, opened);
    const long status = registry_.RegDeleteValueW(key.get(), kRaisedRecordValue);
    if (hadRecord && status != w32::kErrorSuccess && status != w32::kErrorFileNotFound) {
        trace_.Line("restore", "the record could not be removed");
    }
}

}  // namespace kx
