#include "platform/TrayIcon.h"

#include "platform/Failure.h"

namespace kx {

namespace {

constexpr std::size_t kTipLength = 127;
constexpr std::size_t kInfoLength = 255;
constexpr std::size_t kInfoTitleLength = 63;

Text Cut(const Text& text, std::size_t length) { return text.size() <= length ? text : text.substr(0, length); }

}  // namespace

StartupPicturePixels MakeStartupPicturePixels() {
    StartupPicturePixels picture;
    constexpr int n = kStartupPictureSize;
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x) {
            const auto i = static_cast<std::size_t>(y * n + x);
            const bool frame = x == 0 || y == 0 || x == n - 1 || y == n - 1;
            picture.colorRefs[i] = frame ? (y <= 9 ? kFrameGreyUpper : kFrameGreyLower) : 0;
            picture.alpha[i] = frame ? 255 : 0;
        }
    }
    return picture;
}

KHandle CreateStartupPicture(IDrawing& drawing) {
    const StartupPicturePixels picture = MakeStartupPicturePixels();
    return drawing.CreateIconFromPixels(kStartupPictureSize, kStartupPictureSize, picture.colorRefs.data(),
                                        picture.alpha.data());
}

TrayIcon::TrayIcon(IShell& shell, IWindows& windows, IDrawing& drawing, Hwnd messageWindow,
                   std::uint32_t callbackMessage)
    : shell_(shell), windows_(windows), drawing_(drawing), icon_(drawing, CreateStartupPicture(drawing)) {
    data_.hWnd = messageWindow;
    data_.uID = kIconId;
    data_.uCallbackMessage = callbackMessage;
    data_.uFlags = w32::kNifMessage | w32::kNifIcon;
    data_.hIcon = icon_.get();
    data_.uTimeout = kBalloonTimeoutMs;
    // The shell broadcasts this message when it has started anew and lost its icons.
    taskbarCreated_ = windows_.RegisterWindowMessageW(u"TaskbarCreated");
}

TrayIcon::~TrayIcon() {
    // The shell refuses the removal of an icon it does not hold; nothing to do then.
    shell_.Shell_NotifyIconW(w32::kNimDelete, data_);
}

bool TrayIcon::Notify(std::uint32_t message) {
    const bool accepted = shell_.Shell_NotifyIconW(message, data_);
    if (message == w32::kNimAdd) {
        inShell_ = accepted;
    } else if (message == w32::kNimDelete) {
        inShell_ = false;
    } else if (!accepted && visible_) {
        inShell_ = false;  // a visible icon the shell cannot change is gone
    }
    return accepted;
}

void TrayIcon::RestoreIfLost() {
    if (!visible_ || inShell_) return;
    // An icon the shell does hold after all refuses the addition but takes a change.
    if (!Notify(w32::kNimAdd)) inShell_ = Notify(w32::kNimModify);
}

void TrayIcon::SetVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    if (visible) {
        // An empty picture is shown as the program's own icon when the icon is added.
        data_.hIcon = icon_ ? icon_.get() : drawing_.LoadApplicationIcon();
        Notify(w32::kNimAdd);
        return;
    }
    const bool removed = shell_.Shell_NotifyIconW(w32::kNimDelete, data_);
    inShell_ = false;
    if (!removed) throw Failure("Cannot remove shell notification icon");
}

void TrayIcon::SetIcon(KHandle picture) { TakeIcon(OwnedIcon(drawing_, picture != 0 ? drawing_.CopyIcon(picture) : 0)); }

void TrayIcon::TakeIcon(OwnedIcon picture) {
    // The shell takes the new picture before the old one is released.
    data_.hIcon = picture.get();
    if (visible_) Notify(w32::kNimModify);
    icon_ = std::move(picture);
}

void TrayIcon::UpdateTip() {
    data_.szTip = Cut(hint_, kTipLength);
    if (hint_.empty()) {
        data_.uFlags &= ~w32::kNifTip;
    } else {
        data_.uFlags |= w32::kNifTip;
    }
}

void TrayIcon::SetHint(const Text& hint) {
    if (hint == hint_) return;
    hint_ = hint;
    UpdateTip();
    if (visible_) Notify(w32::kNimModify);
}

void TrayIcon::SetBalloonTitle(const Text& title) {
    if (title == balloonTitle_) return;
    balloonTitle_ = title;
    data_.szInfoTitle = Cut(title, kInfoTitleLength);
    // Sent also while hidden; the shell refuses it then, which does no harm.
    Notify(w32::kNimModify);
}

void TrayIcon::SetBalloonHint(const Text& hint) {
    if (hint == balloonHint_) return;
    balloonHint_ = hint;
    data_.szInfo = Cut(hint, kInfoLength);
    Notify(w32::kNimModify);
}

void TrayIcon::ShowBalloonHint() {
    data_.uFlags |= w32::kNifInfo;
    data_.dwInfoFlags = w32::kNiifInfo;
    Notify(w32::kNimModify);
    // The balloon is asked for once. Carrying NIF_INFO on until the balloon
    // closes would re-request it with every later update (the picture changes
    // every second): a shell that restarts its balloon delay on each request
    // never shows it, and one that queues them shows it again and again.
    data_.uFlags &= ~w32::kNifInfo;
}

bool TrayIcon::HandleMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam,
                             std::intptr_t* result) {
    if (result != nullptr) *result = 0;
    if (message == data_.uCallbackMessage) {
        // The shell puts the mouse or balloon notification into lParam.
        switch (static_cast<std::uint32_t>(lParam)) {
            case w32::kWmLButtonDblClk:
            case w32::kWmRButtonDblClk:
            case w32::kWmMButtonDblClk:
                if (OnDblClick) OnDblClick();
                break;
            case w32::kWmRButtonUp: {
                int x = 0;
                int y = 0;
                windows_.GetCursorPos(&x, &y);
                windows_.SetForegroundWindow(applicationWindow);
                windows_.ProcessWaitingMessages();
                if (OnPopupMenu) OnPopupMenu(x, y);
                break;
            }
            case w32::kNinBalloonUserClick:
                if (OnBalloonClick) OnBalloonClick();
                break;
            case w32::kNinBalloonHide:
            case w32::kNinBalloonTimeout:
                // The balloon is gone: later updates must not bring it back.
                data_.uFlags &= ~w32::kNifInfo;
                break;
            default:
                break;
        }
        return true;
    }
    if (taskbarCreated_ != 0 && message == taskbarCreated_) {
        if (visible_) Notify(w32::kNimAdd);
        return true;
    }
    if (message == w32::kWmQueryEndSession) {
        if (result != nullptr) *result = 1;
        return true;
    }
    if (message == w32::kWmEndSession) {
        if (wParam != 0) Notify(w32::kNimDelete);
        return true;
    }
    return false;
}

}  // namespace kx
