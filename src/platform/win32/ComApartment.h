// The thread's COM apartment for the run: the shell calls (ShellExecuteW, the
// desktop's shell view) expect an apartment-threaded caller. Entered when
// made, left when destroyed; a thread already in another apartment, or a
// refusal, leaves a line and the run goes on without one of its own.
#pragma once

#include <objbase.h>
#include <windows.h>

#include <cstdio>

#include "platform/DebugApi.h"

namespace kx::win32 {

class ComApartment {
public:
    explicit ComApartment(DebugTrace& trace) {
        const HRESULT result = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        // S_OK and S_FALSE (already entered on this thread) each take one CoUninitialize.
        entered_ = SUCCEEDED(result);
        if (!entered_) {
            char what[96];
            std::snprintf(what, sizeof what, "CoInitializeEx failed (0x%08lX); the shell calls run without it",
                          static_cast<unsigned long>(result));
            trace.Line("com", what);
        }
    }
    ~ComApartment() {
        if (entered_) ::CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool entered_ = false;
};

}  // namespace kx::win32
