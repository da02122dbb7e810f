#include "WineTestSupport.h"

#include <sddl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace kxtest {

// ---------------------------------------------------------------- programs

Program::~Program() { Close(); }

Program::Program(Program&& other) noexcept : info_(std::exchange(other.info_, PROCESS_INFORMATION{})) {}

Program& Program::operator=(Program&& other) noexcept {
    if (this != &other) {
        Close();
        info_ = std::exchange(other.info_, PROCESS_INFORMATION{});
    }
    return *this;
}

bool Program::Running() const { return Started() && ::WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }

bool Program::WaitForExit(DWORD timeoutMs) const {
    return Started() && ::WaitForSingleObject(info_.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

DWORD Program::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    if (Started()) ::GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

void Program::Terminate() {
    if (Running()) {
        ::TerminateProcess(info_.hProcess, 1);
        ::WaitForSingleObject(info_.hProcess, 10000);
    }
}

void Program::Close() {
    Terminate();
    if (info_.hThread != nullptr) ::CloseHandle(info_.hThread);
    if (info_.hProcess != nullptr) ::CloseHandle(info_.hProcess);
    info_ = PROCESS_INFORMATION{};
}

std::wstring BinFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) return L".\\";
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

namespace {

bool IsFullPath(const std::wstring& path) {
    return (path.size() > 1 && path[1] == L':') || (!path.empty() && (path[0] == L'\\' || path[0] == L'/'));
}

std::wstring CommandLine(const std::wstring& exePath, const std::wstring& arguments) {
    std::wstring line = L"\"" + exePath + L"\"";
    if (!arguments.empty()) line += L" " + arguments;
    return line;
}

}  // namespace

Program StartProgram(const std::wstring& exe, const std::wstring& arguments, const std::wstring& workingFolder) {
    const std::wstring exePath = IsFullPath(exe) ? exe : BinFolder() + exe;
    std::wstring line = CommandLine(exePath, arguments);
    const std::wstring folder = workingFolder.empty() ? BinFolder() : workingFolder;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(exePath.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                          &info)) {
        return Program();
    }
    return Program(info);
}

int RunProgram(const std::wstring& exe, const std::wstring& arguments, DWORD timeoutMs, std::string* output) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return -1;
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    const std::wstring exePath = IsFullPath(exe) ? exe : BinFolder() + exe;
    std::wstring line = CommandLine(exePath, arguments);
    const std::wstring folder = BinFolder();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION info{};
    const BOOL started = ::CreateProcessW(exePath.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr,
                                         folder.c_str(), &startup, &info);
    ::CloseHandle(writeEnd);  // the child holds its own copy; EOF comes when it ends
    if (!started) {
        ::CloseHandle(readEnd);
        return -1;
    }
    Program program(info);

    std::string collected;
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    bool ended = false;
    for (;;) {
        DWORD available = 0;
        if (::PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
            char buffer[4096];
            DWORD read = 0;
            if (::ReadFile(readEnd, buffer, std::min<DWORD>(available, sizeof buffer), &read, nullptr) && read > 0) {
                collected.append(buffer, read);
                continue;
            }
        }
        if (ended) break;
        if (program.WaitForExit(20)) {
            ended = true;  // one more round drains what is left
            continue;
        }
        if (::GetTickCount64() >= deadline) break;
    }
    ::CloseHandle(readEnd);
    if (output != nullptr) *output = collected;
    if (!ended) return -1;  // the holder ends it
    return static_cast<int>(program.ExitCode());
}

// ----------------------------------------------------------------- waiting

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, DWORD stepMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (::GetTickCount64() >= deadline) return condition();
        ::Sleep(stepMs);
    }
}

// ----------------------------------------------------------------- windows

HWND FindTopWindow(const std::wstring& className) { return ::FindWindowW(className.c_str(), nullptr); }

HWND WaitForWindow(const std::wstring& className, DWORD timeoutMs) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindTopWindow(className)) != nullptr; }, timeoutMs);
    return found;
}

DWORD WindowProcessId(HWND window) {
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    return processId;
}

// -------------------------------------------------------------- registry

const wchar_t kSettingsKey[] = L"Software\\VELMOR\\Kestrix";

namespace {

class Key {
public:
    Key() = default;
    ~Key() {
        if (key_ != nullptr) ::RegCloseKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY* Out() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

bool Create(const std::wstring& path, REGSAM access, Key& key) {
    return ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                             access | kProgramView, nullptr, key.Out(), nullptr) == ERROR_SUCCESS;
}

bool Open(const std::wstring& path, REGSAM access, Key& key) {
    return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, access, key.Out()) == ERROR_SUCCESS;
}

bool SetDacl(const std::wstring& path, const wchar_t* sddl) {
    Key key;
    if (!Open(path, kProgramView | READ_CONTROL | WRITE_DAC, key)) return false;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr)) {
        return false;
    }
    const LONG status = ::RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor);
    ::LocalFree(descriptor);
    return status == ERROR_SUCCESS;
}

}  // namespace

bool SetRawValue(const std::wstring& name, DWORD type, const std::vector<BYTE>& data, const std::wstring& key) {
    Key handle;
    if (!Create(key, KEY_SET_VALUE, handle)) return false;
    return ::RegSetValueExW(handle.get(), name.c_str(), 0, type, data.empty() ? nullptr : data.data(),
                            static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

bool SetStringValue(const std::wstring& name, const std::wstring& value, const std::wstring& key) {
    const auto* first = reinterpret_cast<const BYTE*>(value.c_str());
    return SetRawValue(name, REG_SZ, std::vector<BYTE>(first, first + (value.size() + 1) * sizeof(wchar_t)), key);
}

bool SetDwordValue(const std::wstring& name, DWORD value, const std::wstring& key) {
    const auto* first = reinterpret_cast<const BYTE*>(&value);
    return SetRawValue(name, REG_DWORD, std::vector<BYTE>(first, first + sizeof value), key);
}

std::optional<RegistryValue> ReadValue(const std::wstring& name, const std::wstring& key, REGSAM view) {
    Key handle;
    if (!Open(key, KEY_QUERY_VALUE | view, handle)) return std::nullopt;
    RegistryValue value;
    DWORD size = 0;
    if (::RegQueryValueExW(handle.get(), name.c_str(), nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    value.data.resize(size);
    BYTE* data = value.data.empty() ? nullptr : &value.data[0];
    if (::RegQueryValueExW(handle.get(), name.c_str(), nullptr, &value.type, data, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    value.data.resize(size);
    return value;
}

std::optional<std::wstring> ReadStringValue(const std::wstring& name, const std::wstring& key) {
    const auto value = ReadValue(name, key);
    if (!value || value->type != REG_SZ) return std::nullopt;
    std::wstring text(value->data.size() / sizeof(wchar_t), L'\0');
    if (!text.empty()) std::memcpy(&text[0], value->data.data(), text.size() * sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

std::optional<DWORD> ReadDwordValue(const std::wstring& name, const std::wstring& key) {
    const auto value = ReadValue(name, key);
    if (!value || value->type != REG_DWORD || value->data.size() != sizeof(DWORD)) return std::nullopt;
    DWORD number = 0;
    std::memcpy(&number, value->data.data(), sizeof number);
    return number;
}

bool DeleteValue(const std::wstring& name, const std::wstring& key) {
    Key handle;
    if (!Open(key, KEY_SET_VALUE | kProgramView, handle)) return false;
    return ::RegDeleteValueW(handle.get(), name.c_str()) == ERROR_SUCCESS;
}

bool DeleteKeyTree(const std::wstring& key) {
    if (!KeyExists(key)) return true;
    MakeKeyWritable(key);  // a test may have left it read-only
    const auto split = key.find_last_of(L'\\');
    const std::wstring parent = split == std::wstring::npos ? L"" : key.substr(0, split);
    const std::wstring child = split == std::wstring::npos ? key : key.substr(split + 1);
    Key handle;
    if (!Open(parent, kProgramView | DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | KEY_SET_VALUE, handle)) {
        return false;
    }
    const LONG status = ::RegDeleteTreeW(handle.get(), child.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool KeyExists(const std::wstring& key, REGSAM view) {
    Key handle;
    return Open(key, KEY_QUERY_VALUE | view, handle);
}

bool MakeKeyReadOnly(const std::wstring& key) {
    // Protected DACL: everyone, the system and administrators may read, nobody may write.
    return SetDacl(key, L"D:P(A;CI;KR;;;WD)(A;CI;KR;;;SY)(A;CI;KR;;;BA)");
}

bool MakeKeyWritable(const std::wstring& key) { return SetDacl(key, L"D:P(A;CI;KA;;;WD)"); }

// ------------------------------------------------------------------- files

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok =
        bytes.empty() || ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
    return ok && written == bytes.size();
}

std::optional<std::string> ReadFileBytes(const std::wstring& path) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
    ::CloseHandle(file);
    return bytes;
}

std::wstring ArtifactsFolder() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD length = ::GetEnvironmentVariableW(L"KX_ARTIFACTS", buffer, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return BinFolder();
    std::wstring folder(buffer, length);
    if (folder.back() != L'\\') folder += L'\\';
    return folder;
}

// ------------------------------------------------------------------ screen

std::uint32_t Pixels::At(int x, int y) const {
    const int column = x - left;
    const int row = y - top;
    if (column < 0 || row < 0 || column >= width || row >= height) return 0;
    return rgb[static_cast<std::size_t>(row) * static_cast<std::size_t>(width) + static_cast<std::size_t>(column)];
}

Pixels CaptureScreen() {
    Pixels pixels;
    pixels.left = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
    pixels.top = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int width = ::GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const int height = ::GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (width <= 0 || height <= 0) return pixels;

    HDC screen = ::GetDC(nullptr);
    if (screen == nullptr) return pixels;
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = memory != nullptr ? ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    if (bitmap != nullptr && bits != nullptr) {
        HGDIOBJ previous = ::SelectObject(memory, bitmap);
        if (::BitBlt(memory, 0, 0, width, height, screen, pixels.left, pixels.top, SRCCOPY | CAPTUREBLT)) {
            ::GdiFlush();
            const auto* source = static_cast<const std::uint32_t*>(bits);
            pixels.width = width;
            pixels.height = height;
            pixels.rgb.assign(source, source + static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
            for (auto& pixel : pixels.rgb) pixel &= 0x00FFFFFFu;  // BGRA in memory is 0xAARRGGBB
        }
        ::SelectObject(memory, previous);
    }
    if (bitmap != nullptr) ::DeleteObject(bitmap);
    if (memory != nullptr) ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return pixels;
}

bool SaveBmp(const Pixels& pixels, const std::wstring& path) {
    if (pixels.Empty()) return false;
    const std::size_t rowBytes = (static_cast<std::size_t>(pixels.width) * 3 + 3) & ~static_cast<std::size_t>(3);
    const std::size_t imageBytes = rowBytes * static_cast<std::size_t>(pixels.height);
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER header{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = static_cast<DWORD>(file.bfOffBits + imageBytes);
    header.biSize = sizeof header;
    header.biWidth = pixels.width;
    header.biHeight = pixels.height;  // bottom-up rows, as every reader expects
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(imageBytes);

    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&header), sizeof header);
    std::string row(rowBytes, '\0');
    for (int y = pixels.height - 1; y >= 0; --y) {
        for (int x = 0; x < pixels.width; ++x) {
            const std::uint32_t pixel = pixels.At(pixels.left + x, pixels.top + y);
            row[static_cast<std::size_t>(x) * 3 + 0] = static_cast<char>(pixel & 0xFF);
            row[static_cast<std::size_t>(x) * 3 + 1] = static_cast<char>((pixel >> 8) & 0xFF);
            row[static_cast<std::size_t>(x) * 3 + 2] = static_cast<char>((pixel >> 16) & 0xFF);
        }
        bytes += row;
    }
    return WriteFileBytes(path, bytes);
}

std::wstring SaveScreenshot(const std::wstring& baseName) {
    const std::wstring path = ArtifactsFolder() + baseName + L".bmp";
    return SaveBmp(CaptureScreen(), path) ? path : std::wstring();
}

// ------------------------------------------------------------------- input

namespace {

void SendMouse(int x, int y, DWORD buttonFlags) {
    // Absolute coordinates run from 0 to 65535 over the virtual screen.
    const int left = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int width = std::max(2, ::GetSystemMetrics(SM_CXVIRTUALSCREEN));
    const int height = std::max(2, ::GetSystemMetrics(SM_CYVIRTUALSCREEN));
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = static_cast<LONG>((static_cast<long long>(x - left) * 65535 + (width - 1) / 2) / (width - 1));
    input.mi.dy = static_cast<LONG>((static_cast<long long>(y - top) * 65535 + (height - 1) / 2) / (height - 1));
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK | buttonFlags;
    ::SendInput(1, &input, sizeof input);
}

void Press(int x, int y, DWORD down, DWORD up) {
    ::SetCursorPos(x, y);
    SendMouse(x, y, 0);
    ::Sleep(30);
    SendMouse(x, y, down);
    ::Sleep(30);
    SendMouse(x, y, up);
}

}  // namespace

void Click(int x, int y) { Press(x, y, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP); }

void DoubleClick(int x, int y) {
    Press(x, y, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
    ::Sleep(40);  // well inside the double-click time
    SendMouse(x, y, MOUSEEVENTF_LEFTDOWN);
    ::Sleep(30);
    SendMouse(x, y, MOUSEEVENTF_LEFTUP);
}

void RightClick(int x, int y) { Press(x, y, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP); }

// --------------------------------------------------------------- processes

namespace {
std::vector<PROCESSENTRY32W> AllProcesses() {
    std::vector<PROCESSENTRY32W> all;
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return all;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry)) {
        all.push_back(entry);
    }
    ::CloseHandle(snapshot);
    return all;
}
}  // namespace

int ProcessCount(const wchar_t* exe) {
    HANDLE probe = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (probe == INVALID_HANDLE_VALUE) return -1;
    ::CloseHandle(probe);
    int count = 0;
    for (const auto& entry : AllProcesses()) {
        if (_wcsicmp(entry.szExeFile, exe) == 0) ++count;
    }
    return count;
}

std::wstring ParentNameOf(const wchar_t* exe) {
    const std::vector<PROCESSENTRY32W> all = AllProcesses();
    for (const auto& child : all) {
        if (_wcsicmp(child.szExeFile, exe) != 0) continue;
        for (const auto& parent : all) {
            if (parent.th32ProcessID == child.th32ParentProcessID) return parent.szExeFile;
        }
        return L"(gone)";
    }
    return L"";
}

DWORD PriorityClassOf(DWORD processId) {
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr) process = ::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId);
    if (process == nullptr) return 0;
    const DWORD priority = ::GetPriorityClass(process);
    ::CloseHandle(process);
    return priority;
}

bool BringToFront(HWND window, DWORD timeoutMs) {
    ::SetForegroundWindow(window);
    return WaitUntil([&] { return ::GetForegroundWindow() == window; }, timeoutMs);
}

HelperWindow StartHelperWindow(const std::wstring& className, const std::wstring& title, DWORD timeoutMs) {
    HelperWindow helper;
    helper.program = StartProgram(L"kxtesthelper.exe", L"window " + className + L" \"" + title + L"\"");
    if (!helper.program.Started()) return helper;
    helper.window = WaitForWindow(className, timeoutMs);
    helper.pid = helper.program.Pid();
    return helper;
}

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::wstring folder;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, 0, nullptr, &path)) && path != nullptr) folder = path;
    ::CoTaskMemFree(path);
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    return folder;
}

std::wstring ProgramDataFolder() { return KnownFolder(FOLDERID_ProgramData); }

std::wstring BlockListFile() { return ProgramDataFolder() + L"VELMOR\\Kestrix\\Kestrix.csv"; }

std::wstring HandleText(HWND window) {
    return std::to_wstring(static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(window)));
}

}  // namespace kxtest
