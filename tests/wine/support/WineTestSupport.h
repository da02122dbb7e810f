// Helpers for the integration tests that run under Wine: programs started and
// always ended, bounded waits, windows found by class, the settings key in the
// 32-bit view of HKEY_LOCAL_MACHINE, files, screenshots and mouse clicks.
//
// Everything here talks to Windows directly (not through the program's
// platform seam), so a test checks the program against the real system.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kxtest {

// ---------------------------------------------------------------- programs

// A started program. Ending the holder ends the program if it still runs, so
// no test leaves a process behind, also when an assertion fails.
class Program {
public:
    Program() = default;
    explicit Program(const PROCESS_INFORMATION& info) : info_(info) {}
    ~Program();
    Program(Program&& other) noexcept;
    Program& operator=(Program&& other) noexcept;
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool Started() const { return info_.hProcess != nullptr; }
    DWORD Pid() const { return info_.dwProcessId; }
    DWORD MainThreadId() const { return info_.dwThreadId; }
    HANDLE Process() const { return info_.hProcess; }
    bool Running() const;
    // True when the program ended within timeoutMs.
    bool WaitForExit(DWORD timeoutMs) const;
    // STILL_ACTIVE (259) while it runs.
    DWORD ExitCode() const;
    // Ends the program if it runs and waits until it has.
    void Terminate();

private:
    void Close();
    PROCESS_INFORMATION info_{};
};

// The folder of the test program (the build's bin folder), with a trailing backslash.
std::wstring BinFolder();
// exe relative to BinFolder unless it holds a full path; arguments as one
// command-line text; workingFolder empty: BinFolder. A Program that is not
// Started() when CreateProcessW fails.
Program StartProgram(const std::wstring& exe, const std::wstring& arguments = L"",
                     const std::wstring& workingFolder = L"");
// Runs a console program to its end (at most timeoutMs; it is ended after
// that) and collects its standard output. Returns its exit code, or -1 when it
// could not be started or did not end in time.
int RunProgram(const std::wstring& exe, const std::wstring& arguments, DWORD timeoutMs,
               std::string* output = nullptr);

// ----------------------------------------------------------------- waiting

// Checks condition every stepMs until it holds (true) or timeoutMs have passed
// (false, after one last check).
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs, DWORD stepMs = 50);

// ----------------------------------------------------------------- windows

HWND FindTopWindow(const std::wstring& className);
// The first top-level window of that class, waiting at most timeoutMs; null if none came.
HWND WaitForWindow(const std::wstring& className, DWORD timeoutMs);
DWORD WindowProcessId(HWND window);

// -------------------------------------------------------------- registry

// The program's settings key below HKEY_LOCAL_MACHINE.
extern const wchar_t kSettingsKey[];  // L"Software\\VELMOR\\Kestrix"

struct RegistryValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

// The registry view of the programs under test, which is the test's own: a
// 32-bit build's programs keep HKLM\Software in the 32-bit view of a 64-bit
// system, an x86_64 build's in the 64-bit view. kOtherView is the other one.
constexpr bool kIs64BitBuild = sizeof(void*) == 8;
constexpr REGSAM kProgramView = kIs64BitBuild ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
constexpr REGSAM kOtherView = kIs64BitBuild ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

// Every function works on HKEY_LOCAL_MACHINE\key in the programs' view unless
// view says otherwise.
bool SetStringValue(const std::wstring& name, const std::wstring& value, const std::wstring& key = kSettingsKey);
bool SetDwordValue(const std::wstring& name, DWORD value, const std::wstring& key = kSettingsKey);
bool SetRawValue(const std::wstring& name, DWORD type, const std::vector<BYTE>& data,
                 const std::wstring& key = kSettingsKey);
std::optional<RegistryValue> ReadValue(const std::wstring& name, const std::wstring& key = kSettingsKey,
                                       REGSAM view = kProgramView);
// The text of a REG_SZ value; nothing when it is missing or of another type.
std::optional<std::wstring> ReadStringValue(const std::wstring& name, const std::wstring& key = kSettingsKey);
// A REG_DWORD value; nothing when it is missing or of another type.
std::optional<DWORD> ReadDwordValue(const std::wstring& name, const std::wstring& key = kSettingsKey);
bool DeleteValue(const std::wstring& name, const std::wstring& key = kSettingsKey);
// Removes the key and everything below it; true also when it did not exist.
bool DeleteKeyTree(const std::wstring& key = kSettingsKey);
bool KeyExists(const std::wstring& key = kSettingsKey, REGSAM view = kProgramView);
// Replaces the key's DACL with one that grants reading only, so that opening
// it for writing is refused; MakeKeyWritable grants everything again.
bool MakeKeyReadOnly(const std::wstring& key = kSettingsKey);
bool MakeKeyWritable(const std::wstring& key = kSettingsKey);

// ------------------------------------------------------------------- files

bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
std::optional<std::string> ReadFileBytes(const std::wstring& path);
// Where a test leaves screenshots and other evidence: KX_ARTIFACTS (set by
// the harness), else BinFolder. With a trailing backslash.
std::wstring ArtifactsFolder();

// ------------------------------------------------------------------ screen

struct Pixels {
    int left = 0;  // screen coordinates of the first pixel
    int top = 0;
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> rgb;  // 0x00RRGGBB, row by row from the top

    bool Empty() const { return rgb.empty(); }
    // The pixel at screen point (x, y); 0 outside the picture.
    std::uint32_t At(int x, int y) const;
};

// The whole (virtual) screen as it is drawn now; Empty() on failure.
Pixels CaptureScreen();
// A 24-bit BMP file (the harness turns it into PNG afterwards).
bool SaveBmp(const Pixels& pixels, const std::wstring& path);
// CaptureScreen saved as ArtifactsFolder() + baseName + ".bmp"; returns the
// path, or empty on failure.
std::wstring SaveScreenshot(const std::wstring& baseName);

// ------------------------------------------------------------------- input

// Moves the pointer to the screen point and clicks there with real input
// (SendInput), as the user would.
void Click(int x, int y);
void DoubleClick(int x, int y);
void RightClick(int x, int y);

// --------------------------------------------------------------- processes

// The priority class of a process (e.g. HIGH_PRIORITY_CLASS); 0 when it cannot be had.
DWORD PriorityClassOf(DWORD processId);

// How many processes run the executable of that name; -1 when that cannot be had.
int ProcessCount(const wchar_t* exe);
// The executable name of the parent of the (first) process running exe;
// empty when none runs, "(gone)" when its parent has ended.
std::wstring ParentNameOf(const wchar_t* exe);

// Brings a window to the foreground and waits until it is there.
bool BringToFront(HWND window, DWORD timeoutMs = 5000);

// A window of kxtesthelper.exe, of its own class and title, in the foreground
// of its own process.
struct HelperWindow {
    Program program;
    HWND window = nullptr;
    DWORD pid = 0;
};
HelperWindow StartHelperWindow(const std::wstring& className, const std::wstring& title,
                               DWORD timeoutMs = 20000);

// ------------------------------------------------------ KestrixTray's places

// A known folder (FOLDERID_...) with a trailing backslash; empty on failure.
std::wstring KnownFolder(REFKNOWNFOLDERID id);
// The all-users data folder as KestrixTray finds it, with a trailing backslash.
std::wstring ProgramDataFolder();
// The user block-list file KestrixTray reads.
std::wstring BlockListFile();
// The decimal text a window is recorded as in Handle.
std::wstring HandleText(HWND window);

}  // namespace kxtest
