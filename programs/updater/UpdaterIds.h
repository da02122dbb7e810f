// Control identifiers of the updater's window, for the integration tests.
#pragma once

namespace kxupdate {
constexpr int kIdStatus = 100;
constexpr int kIdDownload = 101;
constexpr int kIdRetry = 102;
constexpr int kIdClose = 2;  // IDCANCEL: Esc closes the window
}  // namespace kxupdate
