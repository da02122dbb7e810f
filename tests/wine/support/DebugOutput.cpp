#include "DebugOutput.h"

#include <windows.h>

#include <cstdlib>

#include "WineTestSupport.h"

namespace kxtest {

namespace {

std::wstring LogPath() {
    const wchar_t* path = _wgetenv(L"KX_WINE_DEBUG_LOG");
    return path == nullptr ? std::wstring() : std::wstring(path);
}

}  // namespace

bool DebugOutputLogged() { return !LogPath().empty(); }

std::vector<std::string> DebugOutputLines(const std::string& prefix) {
    std::vector<std::string> lines;
    const std::wstring path = LogPath();
    if (path.empty()) return lines;
    const auto bytes = ReadFileBytes(path);
    if (!bytes) return lines;
    // Wine 8 writes each string as: <thread>:warn:seh:OutputDebugStringA "<text, escaped>"
    const std::string marker = "OutputDebugStringA \"";
    std::size_t at = 0;
    while ((at = bytes->find(marker, at)) != std::string::npos) {
        const std::size_t begin = at + marker.size();
        const std::size_t end = bytes->find('\n', begin);
        std::string text = bytes->substr(begin, (end == std::string::npos ? bytes->size() : end) - begin);
        at = begin;
        if (end == std::string::npos) break;  // a line still being written
        if (!text.empty() && text.back() == '"') text.pop_back();
        while (text.size() >= 2 && text.compare(text.size() - 2, 2, "\\n") == 0) text.resize(text.size() - 2);
        if (text.compare(0, prefix.size(), prefix) == 0) lines.push_back(text);
    }
    return lines;
}

}  // namespace kxtest
