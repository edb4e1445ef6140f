// Opening through the desktop's shell when the program runs elevated (see
// shell_open.h for why).
//
// The desktop's shell is reached the documented way: the shell's window list
// (CLSID_ShellWindows, served by the process that owns the desktop) finds the
// desktop window; its top-level browser gives the active view; the view's
// background automation object (IShellFolderViewDual) gives the shell's
// automation object, whose IShellDispatch2::ShellExecute runs in the desktop's
// process. What that process starts inherits its token, not ours. A replacement
// shell without these objects, no desktop at all, or any failing step makes the
// caller open from the program itself, as it always did.
//
// ole32 and oleaut32 are KnownDLLs on every supported Windows and are imported
// statically; every interface used here exists since Windows 2000.
#include "ui/shell_open.h"

#include <exdisp.h>
#include <servprov.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include "collect/system/user_account.h"
#include "common/owned_handle.h"
#include "common/windows_version.h"
#include "ui/shell_open_rule.h"

namespace {

template <class Interface>
struct ComTraits {
    typedef Interface* Handle;
    static Handle None() { return NULL; }
    static void Close(Handle h) { h->Release(); }
};
template <class Interface>
using OwnedCom = Owned<ComTraits<Interface>>;

struct BstrTraits {
    typedef BSTR Handle;
    static Handle None() { return NULL; }
    static void Close(Handle h) { SysFreeString(h); }
};
typedef Owned<BstrTraits> OwnedBstr;

// COM on the opening thread for the length of one open, apartment-threaded as
// the shell's objects require. The user-interface thread already has an
// apartment (the picture loader's); initialising again only counts up, and
// each successful call is balanced. A thread in the multithreaded apartment
// (RPC_E_CHANGED_MODE) can still make the calls and is left as it was.
class ComApartment {
public:
    ComApartment() : result_(CoInitializeEx(NULL, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    bool Usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

private:
    HRESULT result_;
};

// The target in the system's ANSI code page, as the rest of the program
// keeps paths and addresses, converted for the automation interface.
BSTR AnsiToBstr(const char* text) {
    int count = MultiByteToWideChar(CP_ACP, 0, text, -1, NULL, 0);
    if (count <= 0) return NULL;
    BSTR wide = SysAllocStringLen(NULL, count - 1);
    if (wide == NULL) return NULL;
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide, count) != count) {
        SysFreeString(wide);
        return NULL;
    }
    return wide;
}

VARIANT StringVariant(BSTR text) {
    VARIANT value;
    ZeroMemory(&value, sizeof value);
    value.vt = VT_BSTR;
    value.bstrVal = text;
    return value;
}

VARIANT NumberVariant(LONG number) {
    VARIANT value;
    ZeroMemory(&value, sizeof value);
    value.vt = VT_I4;
    value.lVal = number;
    return value;
}

// The desktop's shell automation object, and the desktop's window.
bool FindDesktopShellDispatch(OwnedCom<IShellDispatch2>& shell, HWND* desktop) {
    // Only the window list served by another process (the desktop's) will
    // do: an object inside this process would start things with our token.
    OwnedCom<IShellWindows> windows;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, NULL, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                reinterpret_cast<void**>(windows.Receive()))))
        return false;
    VARIANT location = NumberVariant(CSIDL_DESKTOP);
    VARIANT root;
    ZeroMemory(&root, sizeof root);  // VT_EMPTY
    LONG window = 0;
    OwnedCom<IDispatch> found;
    if (windows.Get()->FindWindowSW(&location, &root, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, found.Receive()) != S_OK ||
        !found.Valid())
        return false;
    OwnedCom<IServiceProvider> services;
    if (FAILED(found.Get()->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(services.Receive()))))
        return false;
    OwnedCom<IShellBrowser> browser;
    if (FAILED(services.Get()->QueryService(SID_STopLevelBrowser, IID_IShellBrowser,
                                            reinterpret_cast<void**>(browser.Receive()))))
        return false;
    OwnedCom<IShellView> view;
    if (FAILED(browser.Get()->QueryActiveShellView(view.Receive())) || !view.Valid()) return false;
    OwnedCom<IDispatch> background;
    if (FAILED(view.Get()->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, reinterpret_cast<void**>(background.Receive()))))
        return false;
    OwnedCom<IShellFolderViewDual> folderView;
    if (FAILED(background.Get()->QueryInterface(IID_IShellFolderViewDual,
                                                reinterpret_cast<void**>(folderView.Receive()))))
        return false;
    OwnedCom<IDispatch> application;
    if (FAILED(folderView.Get()->get_Application(application.Receive())) || !application.Valid()) return false;
    if (FAILED(application.Get()->QueryInterface(IID_IShellDispatch2, reinterpret_cast<void**>(shell.Receive()))))
        return false;
    *desktop = (HWND)(LONG_PTR)window;
    return true;
}

}  // namespace

void ReadTokenElevation(bool* elevated, bool* splitToken) {
    *elevated = false;
    *splitToken = false;
    OwnedHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive())) return;
    // Both classes are Vista's; XP and 2000 refuse them, which reads as "no".
    DWORD value = 0;
    DWORD size = 0;
    if (GetTokenInformation(token.Get(), TokenElevation, &value, sizeof value, &size)) *elevated = value != 0;
    const DWORD kElevationTypeFull = 2;  // TokenElevationTypeFull: the elevated half of a split token
    value = 0;
    if (GetTokenInformation(token.Get(), TokenElevationType, &value, sizeof value, &size))
        *splitToken = value == kElevationTypeFull;
}

bool OpenThroughDesktopShell(const char* target) {
    if (target == NULL || target[0] == '\0') return false;
    ComApartment apartment;
    if (!apartment.Usable()) return false;
    OwnedCom<IShellDispatch2> shell;
    HWND desktop = NULL;
    if (!FindDesktopShellDispatch(shell, &desktop)) return false;
    OwnedBstr file(AnsiToBstr(target));
    OwnedBstr empty(SysAllocString(L""));
    OwnedBstr verb(SysAllocString(L"open"));
    if (!file.Valid() || !empty.Valid() || !verb.Valid()) return false;
    // The player just clicked in this program, so it may pass the right to
    // come to the foreground on: the desktop's process starts the browser or
    // the archive's program, which then comes up in front as it did before.
    DWORD desktopProcess = 0;
    if (desktop != NULL && GetWindowThreadProcessId(desktop, &desktopProcess) != 0)
        AllowSetForegroundWindow(desktopProcess);
    return SUCCEEDED(shell.Get()->ShellExecute(file.Get(), StringVariant(empty.Get()), StringVariant(empty.Get()),
                                               StringVariant(verb.Get()), NumberVariant(SW_SHOWNORMAL)));
}

bool OpenFromOwnProcess(HWND owner, const char* target) {
    if (target == NULL || target[0] == '\0') return false;
    SHELLEXECUTEINFOA info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    info.hwnd = owner;
    info.lpVerb = "open";
    info.lpFile = target;
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteExA(&info) != FALSE;
}

bool ShellOpen(HWND owner, const char* target) {
    if (target == NULL || target[0] == '\0') return false;
    bool elevated = false;
    bool splitToken = false;
    ReadTokenElevation(&elevated, &splitToken);
    // The policy values tell whether UAC is on; a split token shows it too,
    // also where Windows 8 and later keep UAC with prompts switched off.
    bool uacOn = elevated && (splitToken || IsUacEnabled());
    if (ChooseShellOpenRoute(GetWindowsGeneration(), elevated, uacOn) == ShellOpenRoute::DesktopShell &&
        OpenThroughDesktopShell(target))
        return true;
    return OpenFromOwnProcess(owner, target);
}
