// The simulated Windows of the host tests: one world of registry keys,
// windows, processes, threads, drives, files, resources, libraries, clock,
// notification area, icons and an HTTP server, shared by the simulated
// implementations of every concern of the platform seam.
//
// Tests set the world up directly (it is plain data) and read back what the
// program did to it. Every handle the program is given is counted, so a test
// can prove that everything opened was closed.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"

namespace kx::sim {

// ASCII upper-casing, for the case-insensitive names of the simulated world.
Text Upper(const Text& text);
// UTF-16 from plain ASCII/UTF-8 test literals.
Text T(const std::string& utf8);
// One code point appended as UTF-16 (a surrogate pair above U+FFFF).
void AppendCodePoint(Text& out, std::uint32_t codePoint);
// UTF-8 of a UTF-16 text, for test messages.
std::string U8(const Text& text);

enum class HandleKind { Key, Process, Thread, Snapshot, File, Library, Icon, Menu, Internet, Event };

class HandleTable {
public:
    struct Entry {
        HandleKind kind;
        std::uint64_t object;  // what the handle refers to (a pid, a tid, a key path index, ...)
    };
    KHandle Open(HandleKind kind, std::uint64_t object);
    // False when the handle is not open or is of another kind.
    bool Close(KHandle handle, HandleKind kind);
    const Entry* Find(KHandle handle, HandleKind kind) const;
    std::size_t OpenCount() const { return open_.size(); }
    std::size_t OpenCount(HandleKind kind) const;
    std::size_t OpenedTotal(HandleKind kind) const;
    // Handles closed twice or closed with the wrong kind.
    std::size_t BadCloses() const { return badCloses_; }

private:
    std::map<KHandle, Entry> open_;
    std::map<HandleKind, std::size_t> opened_;
    KHandle next_ = 0x1000;
    std::size_t badCloses_ = 0;
};

struct RegValue {
    std::uint32_t type = w32::kRegNone;
    std::vector<std::uint8_t> data;
    friend bool operator==(const RegValue& a, const RegValue& b) { return a.type == b.type && a.data == b.data; }
};

struct RegKey {
    std::map<Text, std::pair<Text, RegValue>> values;  // by upper-cased name: (name, value)
    bool denyWrite = false;                           // opening for write is refused
    bool isVolatile = false;                          // created with REG_OPTION_VOLATILE
};

struct SimWindow {
    Text title;
    Text className;
    std::uint32_t processId = 0;
    std::uint32_t threadId = 0;
    bool topLevel = true;
};

struct SimProcess {
    Text imageDevicePath;  // as GetProcessImageFileNameW reports it
    Text modulePath;       // as GetModuleFileNameExW reports it
    std::uint32_t priorityClass = w32::kNormalPriorityClass;
    // Rights that OpenProcess grants; a request that asks for more is refused.
    std::uint32_t grantableRights = 0xFFFFFFFFu;
    std::int64_t creationTime = 0;  // GetProcessTimes' creation time
    bool exited = false;
    // Its default CPU set (ids; empty: none), the error SetProcessDefaultCpuSets
    // gives (0: it applies the set), and its affinity (0: every processor).
    // Without the privilege to raise it so, realtime is given as high (as Windows does).
    bool realtimeAllowed = true;
    std::vector<std::uint32_t> defaultCpuSets;
    std::uint32_t cpuSetRefusal = 0;
    std::uint64_t affinityMask = 0;
    std::uint32_t sessionId = 1;  // ProcessIdToSessionId's answer
    // Which process this is: AddProcess numbers them, so that a handle opened
    // for one never reaches another that later takes the same id.
    std::uint64_t instance = 0;
};

struct SimThread {
    std::uint32_t processId = 0;
    std::uint32_t idealProcessor = 0;
    int idealProcessorSets = 0;
    // The thread's processor group, and its ideal processor's group as
    // SetThreadIdealProcessorEx leaves it; the Ex calls are counted apart.
    std::uint16_t group = 0;
    std::uint16_t idealGroup = 0;
    int idealProcessorExSets = 0;
    bool openable = true;
};

struct SimDrive {
    Text root;    // "C:\"
    Text device;  // "\Device\HarddiskVolume1"
    bool queryFails = false;
};

struct SimFile {
    std::vector<std::uint8_t> bytes;
    bool openForWriting = false;  // another program holds it open for writing
    bool locked = false;          // another program holds it open and shares nothing
    std::int64_t lastWriteTime = 0;  // FILETIME of the last write: the world's fileTimeUtc then
    // What GetFileInformationByHandle and GetSecurityInfo see through a handle.
    bool reparsePoint = false;
    std::uint32_t links = 1;
    Text owner{};  // SID text; empty: the world's currentUserSid (the file was made by this account)
};

struct SentMessage {
    Hwnd window;
    std::uint32_t message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
    bool withTimeout;
    std::uint32_t timeoutMs;
};

struct NotifyCall {
    std::uint32_t message;
    NotifyIconData data;
    bool accepted;
};

struct ShellExecuteCall {
    Hwnd owner;
    bool hasVerb;
    Text verb;
    Text file;
    bool hasParameters;
    Text parameters;
    bool hasDirectory;
    int showCommand;
};

struct HtmlHelpCall {
    Hwnd caller;
    Text file;
    std::uint32_t command;
    std::uintptr_t data;
};

struct SimIcon {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> colorRefs;
    std::vector<std::uint8_t> alpha;  // empty: fully opaque
};

struct SimMenuItem {
    std::uint32_t flags;
    std::uintptr_t id;
    Text text;
};

struct SimMenu {
    std::vector<SimMenuItem> items;
    int defaultItem = -1;
};

struct TrackPopupCall {
    std::vector<SimMenuItem> items;
    int defaultItem;
    std::uint32_t flags;
    int x;
    int y;
    Hwnd owner;
};

struct HttpRequest {
    Text server;
    std::uint16_t port;
    Text verb;
    Text target;
    Text version;  // empty: the default
    Text userAgent;
    std::uint32_t redirectPolicy;
    bool redirectPolicySet;
    std::uint32_t accessType = 0;  // WinHttpOpen's
    std::uint32_t flags = 0;       // WinHttpOpenRequest's (WINHTTP_FLAG_SECURE and others)
};

struct HttpResponse {
    bool connects = true;    // false: the connection is refused
    bool answers = true;     // false: no answer (a time-out)
    std::uint32_t status = 200;
    std::string body;
    std::uint32_t msPerRead = 0;  // the clock moves this far at every read of the body
    // How long sending takes (resolving and connecting included); a wait the
    // client's own time-outs do not bound, such as a connection in progress.
    std::uint32_t msToSend = 0;
    std::size_t bytesPerRead = 0; // 0: as many as the reader asks for
    bool breaksAfterBody = false; // the transfer breaks once the body has been read
    // The Content-Length announced: -1 the body's own size, -2 none (chunked or read to the close).
    std::int64_t contentLength = -1;
};

struct SimLibrary {
    std::set<std::string> entries;  // names GetProcAddress finds
};

struct SimWorld {
    SimWorld();

    HandleTable handles;

    // Registry, by upper-cased full path below its root: "HKLM\SOFTWARE\VELMOR\KESTRIX".
    std::map<Text, RegKey> keys;
    std::vector<std::pair<Text, std::uint32_t>> keyOpens;  // (path, access) of every open or create
    // HKEY_PERFORMANCE_DATA, value "238": the block the next query returns.
    std::vector<std::uint8_t> performanceData;
    long performanceStatus = w32::kErrorSuccess;  // a status other than success fails every query
    std::vector<std::uint32_t> performanceQuerySizes;
    // RegQueryValueExW calls on keys (the performance data not counted).
    std::size_t valueQueries = 0;
    // RegNotifyChangeKeyValue: a watch signals its event once the watched
    // key's values differ from what they were when it was set, however they
    // were changed (through the seam or by the test). Keys listed here, by
    // upper-cased full path, refuse to be watched.
    std::set<Text> unwatchableKeys;
    struct KeyWatch {
        Text path;
        bool armed = false;
        bool existed = false;
        std::map<Text, std::pair<Text, RegValue>> values;
        std::set<Text> below;  // the keys below it when the watch was set
    };
    std::map<KHandle, KeyWatch> keyWatches;  // by event

    // Windows, processes, threads.
    std::map<Hwnd, SimWindow> windows;
    Hwnd foreground = 0;
    Hwnd desktop = 0x10010;
    std::map<std::uint32_t, SimProcess> processes;
    std::map<std::uint32_t, SimThread> threads;
    std::uint32_t currentProcessId = 4000;
    std::uint32_t currentSessionId = 1;  // the program's own session, when it is no process of the table
    Text ownModuleFileName = u"C:\\Program Files\\VELMOR\\Kestrix\\KestrixTray.exe";
    std::vector<SentMessage> sentMessages;
    std::set<Hwnd> hungWindows;  // never answer a message
    std::vector<std::pair<Hwnd, int>> showWindowCalls;
    std::vector<Hwnd> foregroundRequests;
    bool snapshotFails = false;
    std::function<void(const SentMessage&)> onMessage;  // runs when a message is sent or posted

    // Display.
    std::map<int, int> metrics;
    std::function<void(int index)> onSystemMetrics;  // runs at every GetSystemMetrics, before it answers
    std::array<std::uint32_t, 31> sysColors{};
    int cursorX = 0;
    int cursorY = 0;
    LogFontInfo iconTitleFont;
    bool iconTitleFontFails = false;
    int systemDpi = 96;
    // GetDpiForWindow, where user32 exports it (a test adds the entries):
    // a window listed here has that scale, any other the system's.
    std::map<Hwnd, std::uint32_t> windowDpi;
    std::map<Text, std::uint32_t> registeredMessages;
    int waitingMessageRuns = 0;

    // Menus.
    std::map<KHandle, SimMenu> menus;
    std::vector<TrackPopupCall> trackPopupCalls;
    std::uint32_t trackPopupChoice = 0;  // command id returned with TPM_RETURNCMD

    // System information.
    OsVersionInfo version;
    bool extendedVersionFails = false;  // GetVersionExW refuses the 284-byte record
    bool versionFails = false;          // GetVersionExW refuses both records
    std::uint32_t ansiCodePage = 1252;
    std::vector<SimDrive> drives;
    bool driveStringsFail = false;
    std::function<long(std::uint32_t infoClass, void* buffer, std::uint32_t length)> systemInformation;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> systemInformationCalls;  // (class, length)
    // SystemProcessorPerformanceInformation: the 48-byte records of each
    // processor group. The plain query answers group 0's;
    // NtQuerySystemInformationEx (once a test adds it to ntdll's entries)
    // the group asked, and fails past the last group.
    std::vector<std::vector<std::uint8_t>> processorRecords;
    bool groupQueryFails = false;  // the group query answers STATUS_NOT_IMPLEMENTED, as under Wine
    std::map<Text, std::vector<std::uint8_t>> resources;  // RT_RCDATA by upper-cased name
    // GetSystemCpuSetInformation's answer, when kernel32 exports it (UseProcessorTopology).
    std::vector<CpuSetInfo> cpuSets;
    // GetLogicalProcessorInformationEx(RelationCache)'s answer, and the
    // system's affinity mask in a process's group.
    std::vector<CacheInfo> caches;
    std::uint64_t systemAffinityMask = 0xFF;
    // Every SetProcessDefaultCpuSets call: (process id, ids).
    std::vector<std::pair<std::uint32_t, std::vector<std::uint32_t>>> cpuSetCalls;

    // Files, by upper-cased path.
    std::map<Text, SimFile> files;
    std::vector<std::pair<Text, std::uint32_t>> fileOpens;  // (path, share mode)
    // Writing files (the main program's editor): folders by upper-cased path,
    // and faults a test can inject.
    std::set<Text> folders;
    bool fileWritesRefused = false;   // CreateFileW for writing fails (no rights)
    bool fileWriteFails = false;      // WriteFile fails (disk full)
    int moveFailuresLeft = 0;         // the next n MoveFileExW calls fail (target busy)
    std::vector<std::pair<Text, Text>> fileMoves;  // (from, to) of every successful move
    std::vector<Text> flushedFiles;                // upper-cased paths flushed
    std::vector<Text> fileWrites;                  // upper-cased paths of every WriteFile that wrote
    // The next ReplaceFileW calls fail with these errors, each leaving the
    // files as Windows leaves them for it.
    std::deque<std::uint32_t> replaceErrors;
    std::vector<std::pair<Text, Text>> fileReplaces;  // (replaced, backup) of every successful replace
    // Every CreateFileW that made a file: (path, flags and attributes).
    std::vector<std::pair<Text, std::uint32_t>> fileCreations;
    // Runs when CreateFileW has made a file, before the handle is returned:
    // another account's link or a file of theirs in its place, for a test.
    std::function<void(const Text& upperPath, SimFile& file)> onFileCreated;
    // The account the program runs as, and its token's default owner (empty: the same).
    Text currentUserSid = u"S-1-5-21-1111-2222-3333-1001";
    Text defaultOwnerSid;
    bool tokenUnreadable = false;
    // GenerateRandom's bytes come from this state (xorshift), so runs repeat.
    std::uint64_t randomState = 0x9E3779B97F4A7C15ull;
    // A crash: after this many more changes (a file created, written, moved,
    // replaced in one of its two steps or deleted; a folder made) nothing on
    // disk changes any more. Negative: no crash.
    int fileChangesLeft = -1;

    // Libraries, by upper-cased name; a name not here cannot be loaded.
    std::map<Text, SimLibrary> libraries;
    std::vector<Text> libraryLoads;
    std::map<KHandle, Text> loadedLibraries;                   // live handles: upper-cased name
    std::vector<std::pair<Text, std::string>> libraryEntries;  // entry points handed out

    // Shell.
    std::map<std::pair<Hwnd, std::uint32_t>, NotifyIconData> notifyIcons;
    std::vector<NotifyCall> notifyCalls;
    bool shellRefusesDelete = false;
    bool shellRefusesAdd = false;
    std::vector<ShellExecuteCall> shellExecuteCalls;
    std::vector<HtmlHelpCall> htmlHelpCalls;
    long knownFolderResult = 0;
    Text knownFolderPath = u"C:\\ProgramData";
    bool knownFolderReturnsNull = false;
    long folderPathResult = 0;
    Text folderPath = u"C:\\Documents and Settings\\All Users\\Application Data";
    int coTaskMemOutstanding = 0;

    // Icons.
    std::map<KHandle, SimIcon> icons;
    bool iconCreationFails = false;
    // Not a multiple of 4, so no handle of the table (0x1000 + 4n) ever equals it.
    KHandle applicationIcon = 0x7772;

    // Clock: UTC file time, and the local offset from it.
    std::int64_t fileTimeUtc = 0;
    // GetTickCount64: advanced by Sleep and by the tests.
    std::uint64_t tickCountMs = 0;
    // Every line written to the debug output.
    std::vector<Text> debugLines;
    std::int64_t localOffset100ns = 0;
    std::vector<std::uint32_t> sleeps;
    // VarDateFromStr: (text, lcid, flags, date) -> HRESULT.
    std::function<long(const Text&, std::uint32_t, std::uint32_t, double*)> dateParser;

    // HTTP.
    std::function<HttpResponse(const HttpRequest&)> httpServer;
    std::vector<HttpRequest> httpRequests;

    // Helpers for setting the world up.
    Hwnd AddWindow(const Text& title, const Text& className, std::uint32_t processId, std::uint32_t threadId);
    // A process; an id already in use is taken by a new process (the old one has ended).
    void AddProcess(std::uint32_t processId, const Text& imageDevicePath, const Text& modulePath = {});
    void AddThread(std::uint32_t threadId, std::uint32_t processId);
    // A system of Windows 10 or later: kernel32 exports GetSystemCpuSetInformation,
    // SetThreadIdealProcessorEx, GetThreadGroupAffinity, the process CPU-set
    // calls and GetLogicalProcessorInformationEx, and the CPU sets are these.
    void UseProcessorTopology(std::vector<CpuSetInfo> sets);
    void SetLocalTime(const SystemTime& local);
    void SetVersion(std::uint32_t major, std::uint32_t minor, std::uint8_t productType);
    RegKey& Key(const Text& path);
    void SetString(const Text& keyPath, const Text& name, const Text& value);
    void SetDword(const Text& keyPath, const Text& name, std::uint32_t value);
    void DeleteValue(const Text& keyPath, const Text& name);
    const RegValue* Value(const Text& keyPath, const Text& name) const;

private:
    Hwnd nextWindow_ = 0x20000;
    std::uint64_t nextProcessInstance_ = 1;
};

}  // namespace kx::sim
