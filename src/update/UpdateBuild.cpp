// The update server and the first counter value this program is built with.
//
// This unit holds nothing else, on purpose: the test variant of the program
// (KestrixTrayTestUpdate.exe) compiles its own copy of it with a local
// server, another port and an early first check, and links that copy ahead of
// the core library, so the core library's copy is never pulled in.
#include "update/UpdateChecker.h"

#ifndef KX_UPDATE_HOST
#define KX_UPDATE_HOST u"update.velmor.com"
#endif
#ifndef KX_UPDATE_PORT
#define KX_UPDATE_PORT 80
#endif
#ifndef KX_UPDATE_FIRST_COUNT
#define KX_UPDATE_FIRST_COUNT 79200
#endif

namespace kx {

const char16_t kUpdateHost[] = KX_UPDATE_HOST;
const std::uint16_t kUpdatePort = KX_UPDATE_PORT;
const std::int32_t kUpdateFirstCount = KX_UPDATE_FIRST_COUNT;

UpdateEndpoint ProgramUpdateEndpoint() { return UpdateEndpoint{kUpdateHost, kUpdatePort}; }

}  // namespace kx
