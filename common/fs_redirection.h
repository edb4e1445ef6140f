// Scoped switch-off of WOW64 file-system redirection for the calling thread.
//
// A 32-bit program on 64-bit Windows sees the 32-bit system folder (SysWOW64)
// where it asks for System32. While a guard lives, the thread sees the native
// System32 instead: the 64-bit libraries and tools. The two functions are
// looked up at run time (XP before SP2 and 32-bit systems may lack them); then
// the guard does nothing. Redirection is per thread, so other threads are not
// affected.
#pragma once

#include <windows.h>

class FsRedirectionGuard {
public:
    FsRedirectionGuard();
    ~FsRedirectionGuard();
    FsRedirectionGuard(const FsRedirectionGuard&) = delete;
    FsRedirectionGuard& operator=(const FsRedirectionGuard&) = delete;

    // True while redirection is off because of this guard.
    bool Active() const { return revert_ != NULL; }

private:
    typedef BOOL(WINAPI* DisableFn)(PVOID*);
    typedef BOOL(WINAPI* RevertFn)(PVOID);
    DisableFn disable_;
    RevertFn revert_;
    PVOID oldState_;
};
