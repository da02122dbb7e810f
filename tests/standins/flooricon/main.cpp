// The floor of a one-hertz graph icon: a hidden window with a one-second
// timer that reads the foreground window, draws a 16 x 16 picture into a DIB
// kept for the run, makes an icon of it and modifies its notification-area
// icon. Nothing else: no settings, no load reading, no process inspection.
// The side-by-side measure runs it beside KestrixTray and divides their
// processor times.
#include <windows.h>
#include <shellapi.h>

#include <cstring>

namespace {

constexpr UINT kIconMessage = WM_APP + 1;
constexpr UINT_PTR kTimerId = 1;
constexpr int kSide = 16;

struct Picture {
    HBITMAP color = nullptr;
    HBITMAP mask = nullptr;
    DWORD* pixels = nullptr;
};

Picture g_picture;
NOTIFYICONDATAW g_icon{};
bool g_added = false;
int g_column = 0;
int g_heights[kSide] = {};

Picture MakePicture() {
    Picture picture;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = kSide;
    info.bmiHeader.biHeight = -kSide;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    picture.color = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    picture.pixels = static_cast<DWORD*>(bits);
    const BYTE opaque[kSide * 2] = {};
    picture.mask = ::CreateBitmap(kSide, kSide, 1, 1, opaque);
    return picture;
}

void Tick(HWND window) {
    // What any graph icon that follows the user reads once a second.
    const HWND front = ::GetForegroundWindow();
    // A moving bar graph of a made-up reading.
    for (int x = 0; x + 1 < kSide; ++x) g_heights[x] = g_heights[x + 1];
    g_heights[kSide - 1] = static_cast<int>((reinterpret_cast<UINT_PTR>(front) + g_column++) % kSide);
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            g_picture.pixels[y * kSide + x] = kSide - y <= g_heights[x] ? 0xFF0080FFu : 0xFFFFFFFFu;
        }
    }
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmMask = g_picture.mask;
    info.hbmColor = g_picture.color;
    const HICON icon = ::CreateIconIndirect(&info);
    if (icon == nullptr) return;
    g_icon.hIcon = icon;
    if (!g_added) {
        g_added = ::FindWindowW(L"Shell_TrayWnd", nullptr) != nullptr && ::Shell_NotifyIconW(NIM_ADD, &g_icon);
    } else {
        ::Shell_NotifyIconW(NIM_MODIFY, &g_icon);
    }
    ::DestroyIcon(icon);
    (void)window;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            if (wParam == kTimerId) Tick(window);
            return 0;
        case WM_CLOSE:
            ::DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            if (g_added) ::Shell_NotifyIconW(NIM_DELETE, &g_icon);
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"KXFloorIcon";
    if (::RegisterClassW(&windowClass) == 0) return 1;
    const HWND window = ::CreateWindowExW(WS_EX_TOOLWINDOW, L"KXFloorIcon", L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                          nullptr, instance, nullptr);
    if (window == nullptr) return 1;
    g_picture = MakePicture();
    if (g_picture.pixels == nullptr || g_picture.mask == nullptr) return 1;
    g_icon.cbSize = sizeof g_icon;
    g_icon.hWnd = window;
    g_icon.uID = 1;
    g_icon.uFlags = NIF_MESSAGE | NIF_ICON;
    g_icon.uCallbackMessage = kIconMessage;
    ::SetTimer(window, kTimerId, 1000, nullptr);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
    ::DeleteObject(g_picture.color);
    ::DeleteObject(g_picture.mask);
    return 0;
}
