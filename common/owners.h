#pragma once
// The owner types of every Windows resource that the installer, its tools and its tests
// acquire: each releases what it holds when it goes out of scope, so that every way out of a
// function is a plain return.

#include <windows.h>
#include <bcrypt.h>
#include <objbase.h>
#include <wincrypt.h>
#include <winhttp.h>
#include <wintrust.h>

#include <memory>
#include <type_traits>

template <auto Close>
struct Closer {
    template <class Handle>
    void operator()(Handle handle) const noexcept {
        if (handle) Close(handle);
    }
};

inline void CloseCertStore(HCERTSTORE store) {
    CertCloseStore(store, 0);
}
inline void CloseAlgorithm(BCRYPT_ALG_HANDLE algorithm) {
    BCryptCloseAlgorithmProvider(algorithm, 0);
}

// Kernel objects and directory searches. Calls that report failure as INVALID_HANDLE_VALUE
// hand their result through ValidHandle, so that an owner is empty exactly when it owns nothing.
using UniqueHandle = std::unique_ptr<void, Closer<&CloseHandle>>;
using UniqueFind = std::unique_ptr<void, Closer<&FindClose>>;
inline HANDLE ValidHandle(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

// The file at the path itself, never what a link in its place leads to: empty for a link (a
// reparse point), as when it cannot be opened.
inline UniqueHandle OpenFileItself(const wchar_t* path, DWORD access, DWORD sharing,
                                   DWORD disposition) {
    UniqueHandle file{
        ValidHandle(CreateFileW(path, access, sharing, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr))};
    BY_HANDLE_FILE_INFORMATION info{};
    if (file && (!GetFileInformationByHandle(file.get(), &info) ||
                 (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))) {
        file.reset();
    }
    return file;
}

using UniqueInternet = std::unique_ptr<void, Closer<&WinHttpCloseHandle>>;
using UniqueCertStore = std::unique_ptr<void, Closer<&CloseCertStore>>;
// CNG algorithms, hashes and keys.
using UniqueAlgorithm = std::unique_ptr<void, Closer<&CloseAlgorithm>>;
using UniqueHash = std::unique_ptr<void, Closer<&BCryptDestroyHash>>;
using UniqueKey = std::unique_ptr<void, Closer<&BCryptDestroyKey>>;
using UniqueModule = std::unique_ptr<std::remove_pointer_t<HMODULE>, Closer<&FreeLibrary>>;
using UniqueHook = std::unique_ptr<std::remove_pointer_t<HHOOK>, Closer<&UnhookWindowsHookEx>>;
using UniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, Closer<&DestroyWindow>>;
using UniqueRegKey = std::unique_ptr<std::remove_pointer_t<HKEY>, Closer<&RegCloseKey>>;

// Memory that the shell hands out (known-folder paths, item id lists), memory that CryptoAPI's
// decoders allocate.
template <class Pointee>
using UniqueCoTaskMem = std::unique_ptr<Pointee, Closer<&CoTaskMemFree>>;
template <class Pointee>
using UniqueLocalMem = std::unique_ptr<Pointee, Closer<&LocalFree>>;
// Memory that WinHTTP's proxy functions allocate.
template <class Pointee>
using UniqueGlobalMem = std::unique_ptr<Pointee, Closer<&GlobalFree>>;

// GDI objects (fonts, brushes, pens, bitmaps) and device contexts.
template <class Handle>
using UniqueGdi = std::unique_ptr<std::remove_pointer_t<Handle>, Closer<&DeleteObject>>;
using UniqueMemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, Closer<&DeleteDC>>;

// A window's device context from GetDC (null window: the screen's), released to that window.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// Selects an object into a device context for one scope. Declare it after the object it
// selects, so that the previous object is back in place before the selected one is deleted.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~SelectedObject() {
        if (previous_) SelectObject(dc_, previous_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A COM interface pointer; put() is the out-parameter: CoCreateInstance(...,
// IID_PPV_ARGS(p.put())).
template <class Interface>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    Interface* get() const { return pointer_; }
    Interface* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }
    Interface** put() {
        Reset();
        return &pointer_;
    }

private:
    void Reset() {
        if (pointer_) pointer_->Release();
        pointer_ = nullptr;
    }
    Interface* pointer_ = nullptr;
};

// Both handles of a started process.
struct UniqueProcess {
    PROCESS_INFORMATION info{};
    UniqueProcess() = default;
    ~UniqueProcess() {
        if (info.hThread) CloseHandle(info.hThread);
        if (info.hProcess) CloseHandle(info.hProcess);
    }
    UniqueProcess(const UniqueProcess&) = delete;
    UniqueProcess& operator=(const UniqueProcess&) = delete;
};

// The state WinVerifyTrust keeps after a WTD_STATEACTION_VERIFY call, closed again with the same
// action and data whatever the verdict was.
class TrustState {
public:
    TrustState(GUID action, WINTRUST_DATA& data) : action_(action), data_(data) {}
    ~TrustState() {
        data_.dwStateAction = WTD_STATEACTION_CLOSE;
        WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
    }
    TrustState(const TrustState&) = delete;
    TrustState& operator=(const TrustState&) = delete;

private:
    GUID action_;
    WINTRUST_DATA& data_;
};

// COM on this thread in a single-threaded apartment, for one scope; uninitialised only when
// the initialisation succeeded.
class ComApartment {
public:
    ComApartment() : initialized_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComApartment() {
        if (initialized_) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    bool Initialized() const { return initialized_; }

private:
    bool initialized_;
};
