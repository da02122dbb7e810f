// The clock and the wait, as the program calls them.
#pragma once

#include <cstdint>

#include "platform/Types.h"

namespace kx {

class IClock {
public:
    virtual ~IClock() = default;
    virtual void GetLocalTime(SystemTime* time) = 0;
    virtual void GetSystemTimeAsFileTime(std::int64_t* fileTime) = 0;
    virtual void Sleep(std::uint32_t milliseconds) = 0;
    // Milliseconds since the system started; monotonic, unaffected by clock changes.
    virtual std::uint64_t GetTickCount64() = 0;
    // oleaut32's VarDateFromStr; returns an HRESULT (0 on success).
    virtual long VarDateFromStr(const Text& text, std::uint32_t lcid, std::uint32_t flags, double* date) = 0;
};

}  // namespace kx
