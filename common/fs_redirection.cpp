#include "common/fs_redirection.h"

FsRedirectionGuard::FsRedirectionGuard() : disable_(NULL), revert_(NULL), oldState_(NULL) {
    HMODULE kernel = GetModuleHandleA("kernel32");
    if (kernel == NULL) return;
    DisableFn disable =
        reinterpret_cast<DisableFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "Wow64DisableWow64FsRedirection")));
    RevertFn revert =
        reinterpret_cast<RevertFn>(reinterpret_cast<void*>(GetProcAddress(kernel, "Wow64RevertWow64FsRedirection")));
    if (disable == NULL || revert == NULL) return;
    disable_ = disable;
    // Revert only what was switched off: on a 32-bit system the call fails and
    // the old-state value it would hand back means nothing.
    if (disable_(&oldState_)) revert_ = revert;
}

FsRedirectionGuard::~FsRedirectionGuard() {
    if (revert_ != NULL) revert_(oldState_);
    disable_ = NULL;
    revert_ = NULL;
    oldState_ = NULL;
}
