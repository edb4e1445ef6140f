// Scoped ownership of Win32 handles.
//
// Functions in this program take raw handles; the function that opens a handle
// owns it through one of these types, so every return path releases it. Handles
// whose "none" value is NULL and those whose "none" is INVALID_HANDLE_VALUE get
// different traits, because mixing the two up is a classic Win32 bug
// (CreateFile fails with INVALID_HANDLE_VALUE, CreateEvent with NULL).
#pragma once

#include <windows.h>
#include <winsock2.h>
#include <wininet.h>

template <class Traits>
class Owned {
public:
    typedef typename Traits::Handle Handle;
    explicit Owned(Handle h = Traits::None()) : h_(h) {}
    ~Owned() { Reset(); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    Handle Get() const { return h_; }
    bool Valid() const { return h_ != Traits::None(); }
    Handle Release() { Handle h = h_; h_ = Traits::None(); return h; }
    void Reset(Handle h = Traits::None()) {
        if (Valid()) Traits::Close(h_);
        h_ = h;
    }
    // For out-parameters of functions that open handles (RegOpenKeyEx and friends).
    Handle* Receive() { Reset(); return &h_; }

private:
    Handle h_;
};

// Kernel objects whose failure value is NULL: events, threads, processes, pipes, tokens.
struct KernelHandleTraits {
    typedef HANDLE Handle;
    static Handle None() { return NULL; }
    static void Close(Handle h) { CloseHandle(h); }
};
// Files and toolhelp snapshots fail with INVALID_HANDLE_VALUE.
struct FileHandleTraits {
    typedef HANDLE Handle;
    static Handle None() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { CloseHandle(h); }
};
struct FindHandleTraits {
    typedef HANDLE Handle;
    static Handle None() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { FindClose(h); }
};
struct RegKeyTraits {
    typedef HKEY Handle;
    static Handle None() { return NULL; }
    static void Close(Handle h) { RegCloseKey(h); }
};
struct InternetHandleTraits {
    typedef HINTERNET Handle;
    static Handle None() { return NULL; }
    static void Close(Handle h) { InternetCloseHandle(h); }
};
struct SocketTraits {
    typedef SOCKET Handle;
    static Handle None() { return INVALID_SOCKET; }
    static void Close(Handle h) { closesocket(h); }
};
struct ModuleTraits {
    typedef HMODULE Handle;
    static Handle None() { return NULL; }
    static void Close(Handle h) { FreeLibrary(h); }
};
struct GdiObjectTraits {
    typedef HGDIOBJ Handle;
    static Handle None() { return NULL; }
    static void Close(Handle h) { DeleteObject(h); }
};
struct HeapMemoryTraits {
    typedef void* Handle;
    static Handle None() { return NULL; }
    static void Close(Handle h) { HeapFree(GetProcessHeap(), 0, h); }
};

typedef Owned<KernelHandleTraits> OwnedHandle;
typedef Owned<FileHandleTraits> OwnedFile;
typedef Owned<FindHandleTraits> OwnedFind;
typedef Owned<RegKeyTraits> OwnedKey;
typedef Owned<InternetHandleTraits> OwnedInternet;
typedef Owned<SocketTraits> OwnedSocket;
typedef Owned<ModuleTraits> OwnedModule;
typedef Owned<GdiObjectTraits> OwnedGdiObject;
typedef Owned<HeapMemoryTraits> OwnedHeapBlock;
