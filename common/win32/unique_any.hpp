// Owners of every Win32 handle the programs and their tests hold: one
// template, then one line per kind of handle and the call that closes it.
// Each owner closes its handle on every path; none can be copied.
#pragma once

#include <windows.h>
#include <bcrypt.h>
#include <setupapi.h>

#include <cstdint>
#include <type_traits>
#include <utility>

namespace common::win32 {

// Handle: the handle's type (a pointer, or a small struct when closing needs
// more than the handle). Close: called once with a valid handle. Invalid:
// the value that means "no handle", as an integer (0 or -1).
template <typename Handle, auto Close, std::intptr_t Invalid = 0>
class unique_any {
public:
    using pointer = Handle;

    static Handle invalid() {
        if constexpr (std::is_pointer_v<Handle>) {
            return reinterpret_cast<Handle>(Invalid);
        } else if constexpr (std::is_integral_v<Handle>) {
            return static_cast<Handle>(Invalid);
        } else {
            return Handle{};
        }
    }

    unique_any() = default;
    explicit unique_any(Handle handle) : handle_(handle) {}
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    unique_any(unique_any&& other) noexcept : handle_(other.release()) {}
    unique_any& operator=(unique_any&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~unique_any() { reset(); }

    Handle get() const { return handle_; }
    bool is_valid() const { return !(handle_ == invalid()); }
    explicit operator bool() const { return is_valid(); }

    // Closes the handle held and takes the one given.
    void reset(Handle handle = invalid()) {
        const Handle previous = std::exchange(handle_, handle);
        if (!(previous == invalid())) Close(previous);
    }
    [[nodiscard]] Handle release() { return std::exchange(handle_, invalid()); }

    // For calls that hand out a new handle through a pointer argument.
    Handle* put() {
        reset();
        return &handle_;
    }

    Handle operator->() const requires std::is_pointer_v<Handle> { return handle_; }

private:
    Handle handle_ = invalid();
};

namespace close {
// Closers whose call takes more than the handle, or answers a value the
// template would have to ignore anyway.
struct WindowDc {
    HWND window = nullptr;
    HDC dc = nullptr;
    bool operator==(const WindowDc&) const = default;
};
inline void releaseWindowDc(WindowDc held) { ReleaseDC(held.window, held.dc); }

struct Selection {
    HDC dc = nullptr;
    HGDIOBJ previous = nullptr;
    bool operator==(const Selection&) const = default;
};
inline void restoreSelection(Selection held) { SelectObject(held.dc, held.previous); }

struct Paint {
    HWND window = nullptr;
    PAINTSTRUCT paint{};
    bool operator==(const Paint& other) const {
        return window == other.window && paint.hdc == other.paint.hdc;
    }
};
inline void endPaint(Paint held) { EndPaint(held.window, &held.paint); }

template <typename Interface>
void releaseInterface(Interface* object) {
    object->Release();
}

inline void couninitialize(int) { CoUninitialize(); }

inline void closeAlgorithm(BCRYPT_ALG_HANDLE algorithm) {
    BCryptCloseAlgorithmProvider(algorithm, 0);
}
// A mutex this thread owns: released, then closed.
inline void releaseMutex(HANDLE mutex) {
    ReleaseMutex(mutex);
    CloseHandle(mutex);
}
inline void closePrivateNamespace(HANDLE space) { ClosePrivateNamespace(space, 0); }
}  // namespace close

// Kernel objects: CreateFile and the find calls answer INVALID_HANDLE_VALUE,
// everything else null.
using unique_handle = unique_any<HANDLE, &CloseHandle>;
using unique_hfile = unique_any<HANDLE, &CloseHandle, -1>;
using unique_hfind = unique_any<HANDLE, &FindClose, -1>;
using unique_hmodule = unique_any<HMODULE, &FreeLibrary>;
using unique_hlocal = unique_any<HLOCAL, &LocalFree>;
using unique_owned_mutex = unique_any<HANDLE, &close::releaseMutex>;  // after a wait gave it
using unique_private_namespace = unique_any<HANDLE, &close::closePrivateNamespace>;
using unique_boundary_descriptor = unique_any<HANDLE, &DeleteBoundaryDescriptor>;

using unique_hkey = unique_any<HKEY, &RegCloseKey>;
using unique_schandle = unique_any<SC_HANDLE, &CloseServiceHandle>;
using unique_hdevinfo = unique_any<HDEVINFO, &SetupDiDestroyDeviceInfoList, -1>;

// Window objects and GDI.
using unique_hwnd = unique_any<HWND, &DestroyWindow>;
using unique_hicon = unique_any<HICON, &DestroyIcon>;
using unique_hfont = unique_any<HFONT, &DeleteObject>;
using unique_hbitmap = unique_any<HBITMAP, &DeleteObject>;
using unique_hdc = unique_any<HDC, &DeleteDC>;  // CreateCompatibleDC, CreateDCW
using unique_hdc_window = unique_any<close::WindowDc, &close::releaseWindowDc>;
using unique_hdc_paint = unique_any<close::Paint, &close::endPaint>;
using unique_select_object = unique_any<close::Selection, &close::restoreSelection>;

// GetDC for the window's client area; null when the window has none to give.
inline unique_hdc_window getWindowDc(HWND window) {
    const HDC dc = GetDC(window);
    return dc ? unique_hdc_window({window, dc}) : unique_hdc_window();
}

// BeginPaint for a WM_PAINT handler; get().paint.hdc is the DC to draw on.
inline unique_hdc_paint beginPaint(HWND window) {
    close::Paint held{window, {}};
    return BeginPaint(window, &held.paint) ? unique_hdc_paint(held) : unique_hdc_paint();
}

// Selects object into dc until the owner ends; null when the selection failed.
inline unique_select_object selectObject(HDC dc, HGDIOBJ object) {
    const HGDIOBJ previous = SelectObject(dc, object);
    return previous && previous != HGDI_ERROR ? unique_select_object({dc, previous})
                                              : unique_select_object();
}

// COM: one reference to an object, and one CoInitializeEx to balance.
template <typename Interface>
using com_ptr = unique_any<Interface*, &close::releaseInterface<Interface>>;
using unique_couninitialize_call = unique_any<int, &close::couninitialize>;

// Cryptography (bcrypt): an algorithm provider, and a hash object made from one.
using unique_bcrypt_algorithm = unique_any<BCRYPT_ALG_HANDLE, &close::closeAlgorithm>;
using unique_bcrypt_hash = unique_any<BCRYPT_HASH_HANDLE, &BCryptDestroyHash>;
using unique_bstr = unique_any<BSTR, &SysFreeString>;

}  // namespace common::win32
