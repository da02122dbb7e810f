// kxtesthelper: the other programs an integration test needs, in one small
// console program.
//
//   kxtesthelper window <class> <title> [--out <file>]
//       Creates a top-level window of that class and title, shows it, brings it
//       to the foreground and runs until the window receives WM_CLOSE. Writes
//       "<pid> <hwnd> <thread id>" (decimal) to <file> once the window exists
//       (written to a temporary name and renamed, so a reader never sees half).
//   kxtesthelper busy <seconds>
//       Keeps every processor busy for that long.
//   kxtesthelper spin <processor> <seconds>
//       Keeps that one processor busy for that long, from one thread held to it
//       by a hard affinity mask (as `taskset -c <processor>` holds a Linux loop).
//   kxtesthelper sendclose <class>
//       Sends WM_CLOSE to the first top-level window of that class; exit code 1
//       when there is none.
//   kxtesthelper priority <pid>
//       Prints the priority class of that process in decimal (e.g. 128 for
//       high); exit code 1 when the process cannot be opened.
//   kxtesthelper storm <event> <per second>
//       While the named manual-reset event (made by the caller) is set, makes,
//       shows without activating, hides and destroys that many small windows a
//       second, as menus and tooltips come and go on a busy desktop; waits
//       while it is reset; runs until the caller ends it. Exit code 1 when
//       the event does not exist.
//
// Exit code 2 for a command line it does not understand.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

namespace {

int Usage() {
    std::fwprintf(stderr,
                  L"usage: kxtesthelper window <class> <title> [--out <file>]\n"
                  L"       kxtesthelper busy <seconds>\n"
                  L"       kxtesthelper spin <processor> <seconds>\n"
                  L"       kxtesthelper sendclose <class>\n"
                  L"       kxtesthelper priority <pid>\n"
                  L"       kxtesthelper storm <event> <per second>\n");
    return 2;
}

bool ParseUnsigned(const wchar_t* text, unsigned long* value) {
    if (text == nullptr || *text == L'\0') return false;
    wchar_t* end = nullptr;
    *value = std::wcstoul(text, &end, 10);
    return end != nullptr && *end == L'\0';
}

bool WriteWhole(const std::wstring& path, const std::string& content) {
    const std::wstring temporary = path + L".tmp";
    HANDLE file = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    ::CloseHandle(file);
    if (!ok || written != content.size()) return false;
    return ::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLOSE:
            ::DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

int RunWindow(const wchar_t* className, const wchar_t* title, const wchar_t* outFile) {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512) /* IDC_ARROW */);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = className;
    if (::RegisterClassExW(&windowClass) == 0) return 1;
    HWND window = ::CreateWindowExW(0, className, title, WS_OVERLAPPEDWINDOW, 100, 100, 320, 200, nullptr, nullptr,
                                    instance, nullptr);
    if (window == nullptr) return 1;
    ::ShowWindow(window, SW_SHOW);
    ::UpdateWindow(window);
    ::SetForegroundWindow(window);
    if (outFile != nullptr) {
        char line[96];
        std::snprintf(line, sizeof line, "%lu %lu %lu\n", ::GetCurrentProcessId(),
                      static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(window)), ::GetCurrentThreadId());
        if (!WriteWhole(outFile, line)) return 1;
    }
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return 0;
}

int RunBusy(unsigned long seconds) {
    SYSTEM_INFO info;
    ::GetSystemInfo(&info);
    const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000u;
    std::vector<std::thread> workers;
    for (DWORD i = 0; i < (info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1); ++i) {
        workers.emplace_back([deadline] {
            volatile unsigned long long sink = 0;
            while (::GetTickCount64() < deadline) {
                for (int k = 0; k < 100000; ++k) sink = sink + static_cast<unsigned long long>(k);
            }
        });
    }
    for (auto& worker : workers) worker.join();
    return 0;
}

int RunSpin(unsigned long processor, unsigned long seconds) {
    if (processor >= sizeof(DWORD_PTR) * 8) return 2;
    if (!::SetProcessAffinityMask(::GetCurrentProcess(), static_cast<DWORD_PTR>(1) << processor)) return 1;
    const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000u;
    volatile unsigned long long sink = 0;
    while (::GetTickCount64() < deadline) {
        for (int k = 0; k < 100000; ++k) sink = sink + static_cast<unsigned long long>(k);
    }
    return 0;
}

int RunSendClose(const wchar_t* className) {
    HWND window = ::FindWindowW(className, nullptr);
    if (window == nullptr) return 1;
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_NORMAL, 10000, &result);
    return 0;
}

int RunPriority(unsigned long pid) {
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr) process = ::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid);
    if (process == nullptr) return 1;
    const DWORD priority = ::GetPriorityClass(process);
    ::CloseHandle(process);
    if (priority == 0) return 1;
    std::printf("%lu\n", static_cast<unsigned long>(priority));
    std::fflush(stdout);
    return 0;
}

int RunStorm(const wchar_t* eventName, unsigned long perSecond) {
    HANDLE go = ::OpenEventW(SYNCHRONIZE, FALSE, eventName);
    if (go == nullptr || perSecond == 0) return 1;
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_INFOBK + 1);
    windowClass.lpszClassName = L"KXStormWindow";
    if (::RegisterClassExW(&windowClass) == 0) return 1;
    const double periodMs = 1000.0 / static_cast<double>(perSecond);
    double due = static_cast<double>(::GetTickCount64());
    for (unsigned long n = 0;; ++n) {
        if (::WaitForSingleObject(go, 0) != WAIT_OBJECT_0) {
            // Paused: the next burst starts afresh, without catching up.
            if (::WaitForSingleObject(go, INFINITE) != WAIT_OBJECT_0) break;
            due = static_cast<double>(::GetTickCount64());
        }
        const int x = 40 + static_cast<int>(n % 16) * 24;
        HWND window = ::CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE, L"KXStormWindow", L"storm",
                                        WS_POPUP | WS_BORDER, x, 60, 80, 20, nullptr, nullptr, instance, nullptr);
        if (window != nullptr) {
            ::ShowWindow(window, SW_SHOWNOACTIVATE);
            ::UpdateWindow(window);
            ::ShowWindow(window, SW_HIDE);
            ::DestroyWindow(window);
        }
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
        due += periodMs;
        const double left = due - static_cast<double>(::GetTickCount64());
        if (left > 0) ::Sleep(static_cast<DWORD>(left));
    }
    ::CloseHandle(go);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return Usage();
    const std::wstring command = argv[1];
    unsigned long number = 0;
    if (command == L"window" && (argc == 4 || (argc == 6 && std::wcscmp(argv[4], L"--out") == 0))) {
        return RunWindow(argv[2], argv[3], argc == 6 ? argv[5] : nullptr);
    }
    if (command == L"busy" && argc == 3 && ParseUnsigned(argv[2], &number)) return RunBusy(number);
    unsigned long seconds = 0;
    if (command == L"spin" && argc == 4 && ParseUnsigned(argv[2], &number) && ParseUnsigned(argv[3], &seconds)) {
        return RunSpin(number, seconds);
    }
    if (command == L"sendclose" && argc == 3) return RunSendClose(argv[2]);
    if (command == L"priority" && argc == 3 && ParseUnsigned(argv[2], &number)) return RunPriority(number);
    if (command == L"storm" && argc == 4 && ParseUnsigned(argv[3], &number)) return RunStorm(argv[2], number);
    return Usage();
}
