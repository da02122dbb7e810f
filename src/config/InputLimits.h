// What the shared input may cost. The block-list file and the settings key are
// writable by every account of the machine, so their size is bounded where
// they are read; the main program refuses to write past the same bounds, so
// that a list it saves is always one KestrixTray reads. Each bound lies far
// above any real use.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kx {

// The whole block-list file, in bytes: 4 MiB.
constexpr std::int64_t kMaxBlockListFileBytes = 4 * 1024 * 1024;
// One line of the block-list file, in UTF-16 code units, without its break.
constexpr std::size_t kMaxBlockListLineChars = 4096;
// The lines of the block-list file that hold a row.
constexpr std::size_t kMaxBlockListRows = 65536;
// A text value read from the settings key, in UTF-16 code units.
constexpr std::size_t kMaxSettingTextChars = 4096;

}  // namespace kx
