#include "config/StoredFile.h"

namespace kx {

FileRead ReadWholeFile(IFiles& files, const Text& path, std::uint32_t shareMode, std::int64_t maxSize,
                       std::vector<std::uint8_t>* bytes) {
    bytes->clear();
    OwnedFile file(files, files.CreateFileW(path, w32::kGenericRead, shareMode, w32::kOpenExisting));
    if (!file) return FileRead::CannotOpen;
    std::int64_t size = 0;
    if (files.GetFileSizeEx(file.get(), &size)) {
        if (size < 0 || size > maxSize) return FileRead::TooLarge;
        bytes->reserve(static_cast<std::size_t>(size));
    }
    constexpr std::uint32_t kChunk = 64 * 1024;
    std::vector<std::uint8_t> chunk(kChunk);
    while (true) {
        std::uint32_t read = 0;
        if (!files.ReadFile(file.get(), chunk.data(), kChunk, &read)) return FileRead::CannotRead;
        if (read == 0) break;
        if (read > kChunk) return FileRead::CannotRead;
        if (bytes->size() + read > static_cast<std::size_t>(maxSize)) return FileRead::TooLarge;
        bytes->insert(bytes->end(), chunk.begin(), chunk.begin() + read);
    }
    return FileRead::Read;
}

}  // namespace kx
