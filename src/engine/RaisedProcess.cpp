#include "engine/RaisedProcess.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace kx {

const char16_t kRaisedRecordKey[] = u"Software\\VELMOR\\Kestrix";
const char16_t kRaisedRecordValue[] = u"RaisedProcess";

namespace {

// Layout: "KXR1", process id, creation time, earlier class, raised class,
// thread count, then per thread: id (4), group (2), number (1), Ex flag (1).
constexpr char kMagic[4] = {'K', 'X', 'R', '1'};
constexpr std::size_t kHeaderBytes = 4 + 4 + 8 + 4 + 4 + 4;
constexpr std::size_t kThreadBytes = 8;

template <typename T>
void Put(std::vector<std::uint8_t>& out, T value) {
    std::uint8_t bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    out.insert(out.end(), bytes, bytes + sizeof(T));
}

template <typename T>
T Get(const std::uint8_t* data, std::size_t* at) {
    T value;
    std::memcpy(&value, data + *at, sizeof(T));
    *at += sizeof(T);
    return value;
}

bool IsPriorityClass(std::uint32_t priorityClass) {
    return priorityClass != 0 && PriorityClassOfLevel(PriorityLevelOfClass(priorityClass)) == priorityClass;
}

}  // namespace

std::vector<std::uint8_t> EncodeRaisedRecord(const RaisedRecord& record) {
    std::vector<std::uint8_t> out(kMagic, kMagic + 4);
    Put(out, record.processId);
    Put(out, record.creationTime);
    Put(out, record.earlierClass);
    Put(out, record.raisedClass);
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
    if (data == nullptr || size < kHeaderBytes || std::memcmp(data, kMagic, 4) != 0) return false;
    std::size_t at = 4;
    RaisedRecord r;
    r.processId = Get<std::uint32_t>(data, &at);
    r.creationTime = Get<std::int64_t>(data, &at);
    r.earlierClass = Get<std::uint32_t>(data, &at);
    r.raisedClass = Get<std::uint32_t>(data, &at);
    const auto count = Get<std::uint32_t>(data, &at);
    if (count > kMaxRecordedThreads || size != kHeaderBytes + count * kThreadBytes) return false;
    r.threads.resize(count);
    for (ThreadIdeal& t : r.threads) {
        t.threadId = Get<std::uint32_t>(data, &at);
        t.ideal.group = Get<std::uint16_t>(data, &at);
        t.ideal.number = Get<std::uint8_t>(data, &at);
        t.ex = Get<std::uint8_t>(data, &at) != 0;
    }
    *record = std::move(r);
    return true;
}

bool RaisedProcessKeeper::CreationTimeOf(std::uint32_t processId, std::int64_t* creationTime) {
    OwnedHandle process(processes_, processes_.OpenProcess(w32::kProcessQueryLimitedInformation, false, processId));
    return process && processes_.GetProcessCreationTime(process.get(), creationTime);
}

void RaisedProcessKeeper::Raised(const AccelerationState& state, PriorityLevel level) {
    try {
        const std::uint32_t raisedClass = PriorityClassOfLevel(level);
        if (!settings_.RegReadBool(u"RestoreOnExit", false) || state.lastProcess == 0 || raisedClass == 0) {
            Clear();
            return;
        }
        RaisedRecord record;
        record.processId = state.lastProcess;
        if (!CreationTimeOf(record.processId, &record.creationTime)) {
            Clear();
            return;
        }
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
    OwnedHandle process(processes_,
                        processes_.OpenProcess(w32::kProcessQueryLimitedInformation | w32::kProcessSetInformation,
                                               false, record.processId));
    if (!process) return false;
    std::int64_t creationTime = 0;
    // Another process that reuses the id, or one whose class changed since
    // (the program set its own): left alone.
    if (!processes_.GetProcessCreationTime(process.get(), &creationTime) || creationTime != record.creationTime) {
        return false;
    }
    if (processes_.GetPriorityClass(process.get()) != record.raisedClass) return false;
    if (IsPriorityClass(record.earlierClass)) processes_.SetPriorityClass(process.get(), record.earlierClass);

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

void RaisedProcessKeeper::RestoreLeftOver() {
    try {
        OwnedKey key(registry_, 0);
        KHandle opened = 0;
        if (registry_.RegOpenKeyExW(w32::kHkeyCurrentUser, kRaisedRecordKey, w32::kKeyRead, &opened) !=
            w32::kErrorSuccess) {
            return;
        }
        key = OwnedKey(registry_, opened);
        std::uint32_t type = 0;
        std::uint32_t size = 0;
        if (registry_.RegQueryValueExW(key.get(), kRaisedRecordValue, &type, nullptr, &size) != w32::kErrorSuccess) {
            return;
        }
        RaisedRecord record;
        std::vector<std::uint8_t> bytes(size <= kHeaderBytes + kMaxRecordedThreads * kThreadBytes ? size : 0);
        if (type == w32::kRegBinary && !bytes.empty() &&
            registry_.RegQueryValueExW(key.get(), kRaisedRecordValue, &type, bytes.data(), &size) ==
                w32::kErrorSuccess &&
            DecodeRaisedRecord(bytes.data(), size, &record)) {
            PutBack(record);
        }
        key.reset();
        Clear();
    } catch (...) {
        trace_.Line("restore", "the record of an earlier run could not be read");
    }
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
