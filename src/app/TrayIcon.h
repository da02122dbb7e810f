// The notification-area icon widget: one NOTIFYICONDATAW record kept in step
// with Shell_NotifyIconW, and the mouse and balloon events passed on.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/DrawingApi.h"
#include "platform/ShellApi.h"
#include "platform/Types.h"
#include "platform/WindowApi.h"

namespace kx {

class TrayIcon {
public:
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
    KHandle Icon() const { return icon_; }
    // Takes its own copy; 0 gives an empty picture.
    void SetIcon(KHandle picture);
    const Text& Hint() const { return hint_; }
    void SetHint(const Text& hint);
    const Text& BalloonTitle() const { return balloonTitle_; }
    void SetBalloonTitle(const Text& title);
    const Text& BalloonHint() const { return balloonHint_; }
    void SetBalloonHint(const Text& hint);
    void ShowBalloonHint();
    const NotifyIconData& Data() const { return data_; }

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
    void Modify();
    IShell& shell_;
    IWindows& windows_;
    IDrawing& drawing_;
    NotifyIconData data_;
    std::uint32_t taskbarCreated_ = 0;
    bool visible_ = false;
    KHandle icon_ = 0;  // owned copy
    Text hint_;
    Text balloonTitle_;
    Text balloonHint_;
};

}  // namespace kx
