// What the programs of a test wrote to the Windows debug output, as Wine lets
// it through to the log of the harness (first line of the test: winedebug=warn+seh).
#pragma once

#include <string>
#include <vector>

namespace kxtest {

// True when the harness keeps a debug-output log for this test (KX_WINE_DEBUG_LOG).
bool DebugOutputLogged();
// Every line written so far that begins with `prefix` (e.g. "KestrixTray: ideal: "),
// in the order written, without its line end.
std::vector<std::string> DebugOutputLines(const std::string& prefix);

}  // namespace kxtest
