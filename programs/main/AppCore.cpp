#include "AppCore.h"

#include <commctrl.h>
#include <shellapi.h>

#include "ControlIds.h"
#include "config/Contract.h"
#include "config/StoredValues.h"
#include "config/WindowsVersion.h"
#include "platform/win32/MessageFilter.h"
#include "platform/win32/Win32DesktopShell.h"

namespace kxapp {

namespace {

struct ClassName {
    FormKind kind;
    const wchar_t* name;
};
// The main program's window classes, which KestrixTray's Exit closes by name.
namespace contract = kx::contract;
const ClassName kClasses[] = {
    {FormKind::Main, W(contract::kMainFormClass)},
    {FormKind::Settings, W(contract::kSettingsFormClass)},
    {FormKind::Advanced, W(contract::kAdvancedSettingsFormClass)},
    {FormKind::BlockList, W(contract::kAddBlockListFormClass)},
    {FormKind::Stats, W(contract::kStatsFormClass)},
    {FormKind::Test, W(contract::kTestFormClass)},
    {FormKind::About, W(contract::kAboutFormClass)},
};

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

// user32 is always loaded; these two exist from Windows 10 1607 on.
template <typename Fn>
Fn User32Entry(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 == nullptr ? nullptr : reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

int SystemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen != nullptr) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

int WindowDpi(HWND window) {
    static const auto getDpi = User32Entry<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpi != nullptr && window != nullptr) {
        const UINT dpi = getDpi(window);
        if (dpi != 0) return static_cast<int>(dpi);
    }
    return SystemDpi();
}

}  // namespace

std::wstring WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    if (length <= 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return text;
}

// ---------------------------------------------------------------------- App

App::App(HINSTANCE instance) : instance_(instance), settings_(api_.registry, api_.system) {
    wchar_t path[MAX_PATH * 2] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
    std::wstring own(path, length);
    programFolder_ = T(own.substr(0, own.rfind(L'\\') + 1));
    book_ = std::make_unique<kx::CaptionBook>(api_.system, settings_.Read().language);
}

App::~App() {
    auto forms = std::move(forms_);
    forms_.clear();
    for (auto& entry : forms) {
        if (entry.second && entry.second->Handle() != nullptr) DestroyWindow(entry.second->Handle());
    }
}

std::wstring App::Caption(const wchar_t* form, const wchar_t* key) const {
    const Text text = book_->Get(T(form), T(key));
    return std::wstring(text.begin(), text.end());
}

void App::ReloadCaptions() {
    book_ = std::make_unique<kx::CaptionBook>(api_.system, settings_.Read().language);
    for (auto& entry : forms_) {
        entry.second->ClearStatus();  // a message of the old language would stay otherwise
        entry.second->ApplyTexts();
    }
}

Text App::BlockListFile() { return kx::BlockListPath(api_.system, api_.shell); }

Form* App::Find(FormKind kind) const {
    auto it = forms_.find(kind);
    return it == forms_.end() ? nullptr : it->second.get();
}

Form* App::Open(FormKind kind) {
    if (Form* open = Find(kind)) {
        if (IsIconic(open->Handle())) ShowWindow(open->Handle(), SW_RESTORE);
        SetForegroundWindow(open->Handle());
        return open;
    }
    std::unique_ptr<Form> form;
    switch (kind) {
        case FormKind::Main: form = MakeMainForm(*this); break;
        case FormKind::Settings: form = MakeSettingsForm(*this); break;
        case FormKind::Advanced: form = MakeAdvancedForm(*this); break;
        case FormKind::BlockList: form = MakeBlockListForm(*this); break;
        case FormKind::Stats: form = MakeStatsForm(*this); break;
        case FormKind::Test: form = MakeTestForm(*this); break;
        case FormKind::About: form = MakeAboutForm(*this); break;
    }
    Form* raw = form.get();
    forms_[kind] = std::move(form);
    if (!raw->Create()) {
        forms_.erase(kind);
        return nullptr;
    }
    ShowWindow(raw->Handle(), SW_SHOWNORMAL);
    SetForegroundWindow(raw->Handle());
    return raw;
}

void App::Forget(Form* form) {
    for (auto it = forms_.begin(); it != forms_.end(); ++it) {
        if (it->second.get() != form) continue;
        const bool main = it->first == FormKind::Main;
        forms_.erase(it);
        // The program ends with its main window.
        if (main) PostQuitMessage(0);
        return;
    }
}

bool App::IsOurWindow(HWND window) const {
    for (const auto& entry : forms_) {
        if (entry.second->Handle() == window) return true;
    }
    return false;
}

bool App::TrayRunning() const { return FindWindowW(W(contract::kTrayWindowClass), nullptr) != nullptr; }

bool App::StartTray() {
    if (TrayRunning()) return true;
    const std::wstring folder(programFolder_.begin(), programFolder_.end());
    const std::wstring exe = folder + W(contract::kTrayProgramFile);
    // KestrixTray raises other programs for every account of the session: an
    // administrator's token must never reach it. Run elevated, the main
    // program has the desktop shell start it as the signed-in user, as setup
    // does, or does not start it at all.
    if (kx::win32::ProcessIsElevated()) {
        switch (kx::win32::StartThroughDesktopShell(exe)) {
            case kx::win32::ShellStart::Started: return true;
            case kx::win32::ShellStart::NoDesktop:
                api_.trace.Line("tray", "running elevated and there is no desktop shell: KestrixTray was not started");
                return false;
            case kx::win32::ShellStart::Failed:
                api_.trace.Line("tray", "running elevated and the desktop shell did not start KestrixTray");
                return false;
        }
    }
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", exe.c_str(), nullptr, folder.c_str(), SW_SHOWNORMAL));
    return result > 32;
}

void App::StartUpdater() {
    const std::wstring folder(programFolder_.begin(), programFolder_.end());
    const std::wstring exe = folder + W(contract::kUpdaterFile);
    ShellExecuteW(nullptr, L"open", exe.c_str(), nullptr, folder.c_str(), SW_SHOWNORMAL);
}

void App::ShowHelp() {
    // From the system folder only, through the seam, as KestrixTray loads it.
    if (!helpLibrary_) helpLibrary_ = kx::OwnedLibrary(api_.libraries, api_.libraries.LoadLibraryW(u"hhctrl.ocx"));
    if (!helpLibrary_) {
        api_.trace.Line("help", "hhctrl.ocx could not be loaded");
        return;
    }
    const kx::ProcAddress entry = api_.libraries.GetProcAddress(helpLibrary_.get(), "HtmlHelpW");
    if (entry == 0) {
        api_.trace.Line("help", "hhctrl.ocx has no HtmlHelpW");
        return;
    }
    const Text topic = programFolder_ + contract::kHelpFile + u"::" + contract::kHelpTopic + u">" +
                       contract::kHelpWindowType;
    api_.shell.CallHtmlHelpW(entry, api_.windows.GetDesktopWindow(), topic, kx::w32::kHhDisplayTopic, 0);
}

HWND AcceleratedWindow(App& app) {
    // The Handle text read as KestrixTray's tick reads it.
    const kx::Hwnd value = kx::HandleTextWindow(app.Settings().Read().handle);
    HWND window = kx::win32::ToHwnd(value);
    return value != 0 && IsWindow(window) ? window : nullptr;
}

std::wstring WindowProgramPath(App& app, HWND window) {
    const Text path = kx::GetWindowProcessPath(app.Inspection(), kx::win32::FromHwnd(window));
    return std::wstring(path.begin(), path.end());
}

kx::ProposedRow ProposeRow(App& app, HWND window, kx::ProposedKind kind) {
    return kx::ProposeBlockRow(kx::TakeForegroundSnapshot(app.Inspection(), kx::win32::FromHwnd(window)), kind);
}

// --------------------------------------------------------------------- Form

Form::Form(App& app, const wchar_t* className, const wchar_t* tableName, int width, int height)
    : app_(app), className_(className), tableName_(tableName), width_(width), height_(height) {}

Form::~Form() {
    if (window_ != nullptr) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

bool Form::RegisterClasses(HINSTANCE instance) {
    for (const auto& entry : kClasses) {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = &Form::WindowProc;
        wc.hInstance = instance;
        wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
        wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                   GetSystemMetrics(SM_CYSMICON), 0));
        wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = entry.name;
        if (RegisterClassExW(&wc) == 0) return false;
    }
    return true;
}

bool Form::Create() {
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    const DWORD exStyle = WS_EX_CONTROLPARENT | WS_EX_APPWINDOW;
    window_ = CreateWindowExW(exStyle, className_, L"", style, CW_USEDEFAULT, CW_USEDEFAULT, width_, height_, nullptr,
                              nullptr, app_.Instance(), this);
    if (window_ == nullptr) return false;
    // KestrixTray's Exit and the uninstaller close it, also when it runs elevated.
    kx::win32::AllowMessagesFromOrdinaryPrograms(window_, {WM_CLOSE});
    UseDpi(WindowDpi(window_));
    Build();
    Add(L"STATIC", SS_LEFT | SS_NOPREFIX, kIdStatus, 12, height_ - 30, width_ - 24, 22);
    ApplyTexts();
    LayOut();
    Place();
    return true;
}

void Form::Place() {
    RECT own = {};
    GetWindowRect(window_, &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    Form* main = app_.Find(FormKind::Main);
    RECT anchor = {};
    POINT point = {};
    if (main != nullptr && main != this && main->Handle() != nullptr) {
        GetWindowRect(main->Handle(), &anchor);
        point = {anchor.left + Scale(40), anchor.top + Scale(40)};
    } else {
        GetCursorPos(&point);
    }
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    if (!GetMonitorInfoW(MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST), &monitor)) return;
    const RECT& work = monitor.rcWork;
    int x = point.x;
    int y = point.y;
    if (main == nullptr || main == this) {
        x = work.left + (work.right - work.left - width) / 2;
        y = work.top + (work.bottom - work.top - height) / 2;
    }
    // Whole on the monitor, as far as it fits.
    if (x + width > work.right) x = work.right - width;
    if (y + height > work.bottom) y = work.bottom - height;
    if (x < work.left) x = work.left;
    if (y < work.top) y = work.top;
    SetWindowPos(window_, nullptr, x, y, 0, 0, SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE);
}

HWND Form::Add(const wchar_t* windowClass, DWORD style, int id, int x, int y, int width, int height, DWORD exStyle) {
    HWND control = CreateWindowExW(exStyle, windowClass, L"", style | WS_CHILD | WS_VISIBLE, Scale(x), Scale(y),
                                   Scale(width), Scale(height), window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   app_.Instance(), nullptr);
    if (control != nullptr) {
        SendMessageW(control, WM_SETFONT, static_cast<WPARAM>(font_.get()), FALSE);
        placed_.push_back(Placed{id, RECT{x, y, x + width, y + height}});
    }
    return control;
}

void Form::UseDpi(int dpi) {
    dpi_ = dpi;
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof(metrics);
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    LOGFONTW face = metrics.lfMessageFont;
    // The metrics are those of the system DPI; the window's monitor may differ.
    face.lfHeight = MulDiv(face.lfHeight, dpi, SystemDpi());
    kx::win32::OwnedGdiObject font = kx::win32::OwnGdi(app_.Gdi(), CreateFontIndirectW(&face));
    if (!font) {
        app_.Api().trace.Line("form.font", "CreateFontIndirectW failed");
        return;
    }
    for (const Placed& placed : placed_) {
        SendMessageW(Item(placed.id), WM_SETFONT, static_cast<WPARAM>(font.get()), FALSE);
    }
    font_ = std::move(font);  // the old font is deleted once no control uses it
}

void Form::LayOut() {
    for (const Placed& placed : placed_) {
        const RECT& b = placed.box;
        SetWindowPos(Item(placed.id), nullptr, Scale(b.left), Scale(b.top), Scale(b.right - b.left),
                     Scale(b.bottom - b.top), SWP_NOZORDER | SWP_NOACTIVATE);
    }
    RECT frame = {0, 0, Scale(width_), Scale(height_)};
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_EXSTYLE));
    static const auto adjust = User32Entry<AdjustForDpiFn>("AdjustWindowRectExForDpi");
    if (adjust != nullptr) {
        adjust(&frame, style, FALSE, exStyle, static_cast<UINT>(dpi_));
    } else {
        AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    }
    SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    InvalidateRect(window_, nullptr, TRUE);
}

void Form::Move(int id, int x, int y, int width, int height) {
    for (Placed& placed : placed_) {
        if (placed.id == id) placed.box = RECT{x, y, x + width, y + height};
    }
}

void Form::SetClientHeight(int height) {
    height_ = height;
    Move(kIdStatus, 12, height_ - 30, width_ - 24, 22);
    if (window_ != nullptr) LayOut();
}

int Form::TextHeight(const std::wstring& text, int width) const {
    HDC dc = GetDC(window_);
    if (dc == nullptr) return 20;
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(static_cast<UINT_PTR>(font_.get())));
    RECT box = {0, 0, Scale(width), 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(window_, dc);
    return MulDiv(box.bottom - box.top, 96, dpi_) + 1;
}

void Form::ShowStatus(const std::wstring& text, bool problem) {
    statusProblem_ = problem;
    SetText(kIdStatus, text);
    InvalidateRect(Item(kIdStatus), nullptr, TRUE);
}

LRESULT Form::OnNotify(NMHDR*) { return 0; }

LRESULT Form::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT CALLBACK Form::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* form = static_cast<Form*>(create->lpCreateParams);
        form->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<Form*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (form == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        form->window_ = nullptr;
        form->app_.Forget(form);  // the form is gone after this
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return form->Dispatch(message, wParam, lParam);
}

LRESULT Form::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLOSE:
            DestroyWindow(window_);
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == kIdClose && HIWORD(wParam) == BN_CLICKED) {
                DestroyWindow(window_);
                return 0;
            }
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_NOTIFY:
            return OnNotify(reinterpret_cast<NMHDR*>(lParam));
        case WM_TIMER:
            OnTimer();
            return 0;
        case WM_CTLCOLORSTATIC:
            if (reinterpret_cast<HWND>(lParam) == Item(kIdStatus) && statusProblem_) {
                auto dc = reinterpret_cast<HDC>(wParam);
                SetTextColor(dc, RGB(192, 0, 0));
                SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
            }
            return OnMessage(message, wParam, lParam);
        case 0x02E0: {  // WM_DPICHANGED: the window moved to a monitor of another DPI
            UseDpi(HIWORD(wParam));
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(window_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                         suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
            LayOut();
            return 0;
        }
        default:
            return OnMessage(message, wParam, lParam);
    }
}

}  // namespace kxapp
