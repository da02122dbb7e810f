#include "platform/win32/Win32DesktopShell.h"

#include <windows.h>
#include <exdisp.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include <initializer_list>

namespace kx::win32 {

namespace {

// Whether this process sits on a window station someone sees (WinSta0 of a
// signed-in session); a service's or a deployment tool's has none.
bool OnInteractiveWindowStation() {
    USEROBJECTFLAGS flags{};
    DWORD needed = 0;
    HWINSTA station = ::GetProcessWindowStation();
    return station != nullptr && ::GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &needed) &&
           (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace

ShellStart StartThroughDesktopShell(const std::wstring& program) {
    if (!OnInteractiveWindowStation()) return ShellStart::NoDesktop;
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // A thread already in the multithreaded apartment can make the calls too.
    if (FAILED(com) && com != RPC_E_CHANGED_MODE) return ShellStart::Failed;
    ShellStart result = ShellStart::NoDesktop;
    IShellWindows* windows = nullptr;
    IDispatch* desktopDispatch = nullptr;
    IServiceProvider* services = nullptr;
    IShellBrowser* browser = nullptr;
    IShellView* view = nullptr;
    IDispatch* viewDispatch = nullptr;
    IShellFolderViewDual* folderView = nullptr;
    IDispatch* application = nullptr;
    IShellDispatch2* shell = nullptr;
    VARIANT location;
    VARIANT empty;
    ::VariantInit(&location);
    ::VariantInit(&empty);
    V_VT(&location) = VT_I4;
    V_I4(&location) = CSIDL_DESKTOP;
    long hwnd = 0;
    if (SUCCEEDED(::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_PPV_ARGS(&windows))) &&
        windows->FindWindowSW(&location, &empty, SWC_DESKTOP, &hwnd, SWFO_NEEDDISPATCH, &desktopDispatch) == S_OK &&
        desktopDispatch != nullptr) {
        result = ShellStart::Failed;
        if (SUCCEEDED(desktopDispatch->QueryInterface(IID_PPV_ARGS(&services))) &&
            SUCCEEDED(services->QueryService(SID_STopLevelBrowser, IID_PPV_ARGS(&browser))) &&
            SUCCEEDED(browser->QueryActiveShellView(&view)) &&
            SUCCEEDED(view->GetItemObject(SVGIO_BACKGROUND, IID_PPV_ARGS(&viewDispatch))) &&
            SUCCEEDED(viewDispatch->QueryInterface(IID_PPV_ARGS(&folderView))) &&
            SUCCEEDED(folderView->get_Application(&application)) &&
            SUCCEEDED(application->QueryInterface(IID_PPV_ARGS(&shell)))) {
            const auto slash = program.find_last_of(L'\\');
            const std::wstring folder = slash == std::wstring::npos ? std::wstring() : program.substr(0, slash);
            BSTR file = ::SysAllocString(program.c_str());
            VARIANT args, dir, operation, show;
            ::VariantInit(&args);
            ::VariantInit(&dir);
            ::VariantInit(&operation);
            ::VariantInit(&show);
            V_VT(&dir) = VT_BSTR;
            V_BSTR(&dir) = ::SysAllocString(folder.c_str());
            V_VT(&show) = VT_I4;
            V_I4(&show) = SW_SHOWNORMAL;
            if (file != nullptr && SUCCEEDED(shell->ShellExecute(file, args, dir, operation, show))) {
                result = ShellStart::Started;
            }
            ::SysFreeString(file);
            ::VariantClear(&dir);
        }
    }
    for (IUnknown* object : std::initializer_list<IUnknown*>{shell, application, folderView, viewDispatch, view, browser,
                                                             services, desktopDispatch, windows}) {
        if (object != nullptr) object->Release();
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    return result;
}

bool ProcessIsElevated() {
    // What cannot be told counts as elevated: the caller then takes the careful way.
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return true;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const bool elevated = !::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) ||
                          elevation.TokenIsElevated != 0;
    ::CloseHandle(token);
    return elevated;
}

}  // namespace kx::win32
