// The conversion of an image path from its volume device to its drive letter,
// over any path a program's location can give (up to the 32,767 characters
// of the longest path) and any list of drives: nothing escapes, a path on no
// listed device comes back as it was, and a path that begins with the first
// drive's device begins with that drive's root instead.
//
// Input: a byte with the number of drives, a byte of flags (1: the path begins
// with the first drive's device; 2: that drive's device cannot be queried),
// then for each drive a length byte and that many bytes of its device name
// after "\Device\" (at most 40, as long as real ones), then the path as UTF-16.
//
// The largest input: 2 + 30 * 41 + 2 * 32,767 bytes.
// fuzz-cap: 66766
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "engine/Foreground.h"
#include "platform/AsciiCase.h"
#include "sim/SimPlatform.h"

namespace {

constexpr std::size_t kMaxDrives = 30;
constexpr std::size_t kMaxDeviceSuffix = 40;
constexpr std::size_t kMaxPathChars = 32767;

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    kx::sim::SimPlatform sim;
    sim.world.drives.clear();
    const std::size_t drives = data[0] % (kMaxDrives + 1);
    const std::uint8_t flags = data[1];
    std::size_t at = 2;
    for (std::size_t d = 0; d < drives; ++d) {
        kx::sim::SimDrive drive;
        drive.root = kx::Text{static_cast<char16_t>(u'A' + d % 26), u':', u'\\'};
        drive.device = u"\\Device\\";
        const std::size_t length = at < size ? data[at++] % (kMaxDeviceSuffix + 1) : 0;
        for (std::size_t i = 0; i < length && at < size; ++i) {
            // QueryDosDeviceW's answer ends at a NUL character.
            drive.device.push_back(data[at] == 0 ? u'0' : static_cast<char16_t>(data[at]));
            ++at;
        }
        sim.world.drives.push_back(drive);
    }
    if (drives > 0 && (flags & 2) != 0) sim.world.drives[0].queryFails = true;

    kx::Text rest;
    for (; at + 1 < size && rest.size() < kMaxPathChars; at += 2) {
        rest.push_back(static_cast<char16_t>(data[at] | (data[at + 1] << 8)));
    }
    const bool prefixed = drives > 0 && (flags & 1) != 0;
    const kx::Text path = prefixed ? sim.world.drives[0].device + u"\\" + rest : rest;

    kx::Text converted;
    try {
        converted = kx::DevicePathToDrivePath(sim.system, path);
    } catch (...) {
        std::abort();  // it never fails
    }

    bool anyDevice = false;
    for (const kx::sim::SimDrive& drive : sim.world.drives) {
        const kx::Text device = kx::AsciiUpper(drive.device + u"\\");
        anyDevice = anyDevice || kx::AsciiUpper(path).find(device) != kx::Text::npos;
    }
    if (!anyDevice) Check(converted == path);
    // A device name is longer than a drive root, so a conversion only shortens the path.
    Check(converted.size() <= path.size());
    if (prefixed && !sim.world.drives[0].queryFails) Check(converted == sim.world.drives[0].root + rest);
    return 0;
}
