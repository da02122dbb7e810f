// Caps on what the shared input may cost. The settings key and the block-list
// file are writable by every account of the machine, so what they hold is
// read only up to these sizes; input past a cap counts as unreadable. The
// main program refuses to write past the same caps.
#pragma once

#include <cstddef>

namespace kx {

// The block-list file, in bytes.
constexpr std::size_t kMaxBlockListFileBytes = 4194304;
// One line of the block-list file, in UTF-16 code units, without its line break.
constexpr std::size_t kMaxBlockListLineChars = 4096;
// The rows of the block-list file: its lines that are not blank.
constexpr std::size_t kMaxBlockListRows = 65536;
// Any text value read from the settings key, in UTF-16 code units.
constexpr std::size_t kMaxSettingTextChars = 4096;

}  // namespace kx
