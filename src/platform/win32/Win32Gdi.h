// GDI objects that the Windows-only programs make themselves (the main
// program's fonts and brushes), owned by the same RAII type as every other
// handle of the seam and deleted on every path.
#pragma once

#include <windows.h>

#include "platform/Owned.h"
#include "platform/win32/Win32Handles.h"

namespace kx::win32 {

class GdiObjects {
public:
    bool DeleteObject(KHandle object) { return ::DeleteObject(FromKHandle<HGDIOBJ>(object)) != FALSE; }
};

inline void DeleteGdiObject(GdiObjects& api, KHandle object) { api.DeleteObject(object); }
using OwnedGdiObject = Owned<GdiObjects, DeleteGdiObject>;

// Takes a new GDI object into an owner; an empty owner when making it failed.
template <typename H>
OwnedGdiObject OwnGdi(GdiObjects& api, H object) {
    return object == nullptr ? OwnedGdiObject{} : OwnedGdiObject{api, ToKHandle(object)};
}

}  // namespace kx::win32
