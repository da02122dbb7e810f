// kernel32's OutputDebugStringW.
#pragma once

#include "platform/DebugApi.h"

namespace kx {

class Win32DebugOutput : public IDebugOutput {
public:
    void OutputDebugStringW(const Text& text) override;
};

}  // namespace kx
