// The notification-area icon widget: one NOTIFYICONDATAW record kept in step
// with Shell_NotifyIconW, and the mouse and balloon events passed on.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "platform/DrawingApi.h"
#include "platform/ShellApi.h"
#include "platform/Types.h"
#include "platform/WindowApi.h"

namespace kx {

// The picture the icon shows when it is first added: a 16 x 16 empty frame
// in the graph's two frame greys (the lighter one on rows 0 to 9, the darker
// one below) with a transparent interior.
constexpr int kStartupPictureSize = 16;
constexpr std::uint32_t kFrameGreyUpper = 0x003A3837;
constexpr std::uint32_t kFrameGreyLower = 0x002C2B29;
struct StartupPicturePixels {
    std::array<std::uint32_t, kStartupPictureSize * kStartupPictureSize> colorRefs{};  // 0x00BBGGRR, rows from the top
    std::array<std::uint8_t, kStartupPictureSize * kStartupPictureSize> alpha{};       // 0 transparent, 255 opaque
};
StartupPicturePixels MakeStartupPicturePixels();
// The picture as an icon; 0 when the platform cannot make it.
KHandle CreateStartupPicture(IDrawing& drawing);

class TrayIcon {
public:
    static constexpr std::uint32_t kIconId = 1;
    static constexpr std::uint32_t kBalloonTimeoutMs = 10000;

    // messageWindow: the widget's own hidden window, which receives
    // callbackMessage from the shell. The widget starts hidden with
    // StartupPicture as its icon.
    TrayIcon(IShell& shell, IWindows& windows, IDrawing& drawing, Hwnd messageWindow, std::uint32_t callbackMessage);
    // Removes the icon from the notification area and releases its picture.
    ~TrayIcon();
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    bool Visible() const { return visible_; }
    // Throws Failure("Cannot remove shell notification icon") when the shell
    // refuses the removal; Visible is false all the same.
    void SetVisible(bool visible);
    // The widget's own copy of its picture; 0 for an empty picture.
    KHandle Icon() const { return icon_.get(); }
    // Takes its own copy; 0 gives an empty picture. The caller keeps its picture.
    void SetIcon(KHandle picture);
    // Shows picture and keeps it, without a copy (a copy of an icon is a
    // round of drawing calls of its own): the way for a new picture every
    // second. An empty one gives an empty picture.
    void TakeIcon(OwnedIcon picture);
    const Text& Hint() const { return hint_; }
    void SetHint(const Text& hint);
    const Text& BalloonTitle() const { return balloonTitle_; }
    void SetBalloonTitle(const Text& title);
    const Text& BalloonHint() const { return balloonHint_; }
    void SetBalloonHint(const Text& hint);
    void ShowBalloonHint();
    const NotifyIconData& Data() const { return data_; }
    // Whether the shell holds the icon, as far as its answers tell: false
    // after a refused NIM_ADD, or a NIM_MODIFY refused while visible (the
    // shell has lost the icon).
    bool InNotificationArea() const { return inShell_; }
    // Adds the icon again when it is visible but the shell does not hold it
    // (a slow shell at logon refuses the first addition); called every tick.
    void RestoreIfLost();

    // Events.
    std::function<void()> OnDblClick;
    std::function<void()> OnBalloonClick;
    // Opens the pop-up menu at the cursor (x, y), after the widget has made
    // the application window the foreground window.
    std::function<void(int x, int y)> OnPopupMenu;
    Hwnd applicationWindow = 0;

    // The message window's handling. Returns true and sets *result when the
    // message was the widget's.
    bool HandleMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam, std::intptr_t* result);

private:
    bool Notify(std::uint32_t message);
    void UpdateTip();
    IShell& shell_;
    IWindows& windows_;
    IDrawing& drawing_;
    NotifyIconData data_;
    std::uint32_t taskbarCreated_ = 0;
    bool visible_ = false;
    bool inShell_ = false;
    OwnedIcon icon_;
    Text hint_;
    Text balloonTitle_;
    Text balloonHint_;
};

}  // namespace kx
