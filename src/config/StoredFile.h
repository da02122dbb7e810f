// Reading a stored file whole, through the platform seam.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/SystemApi.h"
#include "platform/Types.h"

namespace kx {

enum class FileRead { Read, CannotOpen, CannotRead, TooLarge };

// Opens path for reading with shareMode (what other programs may do with the
// file meanwhile), reads it to its end — its size is only a hint — and closes
// it. A file larger than maxSize is not read: nothing is allocated for it.
FileRead ReadWholeFile(IFiles& files, const Text& path, std::uint32_t shareMode, std::int64_t maxSize,
                       std::vector<std::uint8_t>* bytes);

}  // namespace kx
