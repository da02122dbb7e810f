// The record of the raised process over arbitrary bytes, as the current
// user's key may hold them: decoding never reads past them, and a record that
// decodes encodes back to the same bytes.
//
// A record with the most threads it may hold: 28 + 4,096 * 8 bytes.
// fuzz-cap: 32796
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/RaisedProcess.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kx::RaisedRecord record;
    if (!kx::DecodeRaisedRecord(data, size, &record)) return 0;
    if (record.threads.size() > kx::kMaxRecordedThreads) std::abort();
    const std::vector<std::uint8_t> again = kx::EncodeRaisedRecord(record);
    // The Ex flag is read as any non-zero byte, so compare field by field through a second decode.
    kx::RaisedRecord back;
    if (!kx::DecodeRaisedRecord(again.data(), again.size(), &back)) std::abort();
    if (back.processId != record.processId || back.creationTime != record.creationTime ||
        back.earlierClass != record.earlierClass || back.raisedClass != record.raisedClass ||
        back.threads.size() != record.threads.size() || again.size() != size) {
        std::abort();
    }
    return 0;
}
