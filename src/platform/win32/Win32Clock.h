// kernel32's clock and wait, and oleaut32's date parser.
#pragma once

#include "platform/ClockApi.h"

namespace kx {

class Win32Clock : public IClock {
public:
    void GetLocalTime(SystemTime* time) override;
    void GetSystemTimeAsFileTime(std::int64_t* fileTime) override;
    void Sleep(std::uint32_t milliseconds) override;
    std::uint64_t GetTickCount64() override;
    long VarDateFromStr(const Text& text, std::uint32_t lcid, std::uint32_t flags, double* date) override;
};

}  // namespace kx
