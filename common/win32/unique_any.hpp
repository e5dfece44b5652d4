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
class UniqueAny {
public:
    static Handle invalid() {
        if constexpr (std::is_pointer_v<Handle>) {
            return reinterpret_cast<Handle>(Invalid);
        } else if constexpr (std::is_integral_v<Handle>) {
            return static_cast<Handle>(Invalid);
        } else {
            return Handle{};
        }
    }

    UniqueAny() = default;
    explicit UniqueAny(Handle handle) : handle_(handle) {}
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    UniqueAny(UniqueAny&& other) noexcept : handle_(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~UniqueAny() { reset(); }

    Handle get() const { return handle_; }
    bool isValid() const { return !(handle_ == invalid()); }
    explicit operator bool() const { return isValid(); }

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

inline void coUninitialize(int) { CoUninitialize(); }

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
using UniqueHandle = UniqueAny<HANDLE, &CloseHandle>;
using UniqueFile = UniqueAny<HANDLE, &CloseHandle, -1>;
using UniqueFind = UniqueAny<HANDLE, &FindClose, -1>;
using UniqueModule = UniqueAny<HMODULE, &FreeLibrary>;
using UniqueLocal = UniqueAny<HLOCAL, &LocalFree>;
using UniqueOwnedMutex = UniqueAny<HANDLE, &close::releaseMutex>;  // after a wait gave it
using UniquePrivateNamespace = UniqueAny<HANDLE, &close::closePrivateNamespace>;
using UniqueBoundaryDescriptor = UniqueAny<HANDLE, &DeleteBoundaryDescriptor>;

using UniqueKey = UniqueAny<HKEY, &RegCloseKey>;
using UniqueServiceHandle = UniqueAny<SC_HANDLE, &CloseServiceHandle>;
using UniqueDeviceInfoSet = UniqueAny<HDEVINFO, &SetupDiDestroyDeviceInfoList, -1>;

// Window objects and GDI.
using UniqueWindow = UniqueAny<HWND, &DestroyWindow>;
using UniqueIcon = UniqueAny<HICON, &DestroyIcon>;
using UniqueFont = UniqueAny<HFONT, &DeleteObject>;
using UniqueBitmap = UniqueAny<HBITMAP, &DeleteObject>;
using UniqueDc = UniqueAny<HDC, &DeleteDC>;  // CreateCompatibleDC, CreateDCW
using UniqueWindowDc = UniqueAny<close::WindowDc, &close::releaseWindowDc>;
using UniquePaint = UniqueAny<close::Paint, &close::endPaint>;
using UniqueSelection = UniqueAny<close::Selection, &close::restoreSelection>;

// GetDC for the window's client area; null when the window has none to give.
inline UniqueWindowDc getWindowDc(HWND window) {
    const HDC dc = GetDC(window);
    return dc ? UniqueWindowDc({window, dc}) : UniqueWindowDc();
}

// BeginPaint for a WM_PAINT handler; get().paint.hdc is the DC to draw on.
inline UniquePaint beginPaint(HWND window) {
    close::Paint held{window, {}};
    return BeginPaint(window, &held.paint) ? UniquePaint(held) : UniquePaint();
}

// Selects object into dc until the owner ends; null when the selection failed.
inline UniqueSelection selectObject(HDC dc, HGDIOBJ object) {
    const HGDIOBJ previous = SelectObject(dc, object);
    return previous && previous != HGDI_ERROR ? UniqueSelection({dc, previous}) : UniqueSelection();
}

// COM: one reference to an object, and one CoInitializeEx to balance.
template <typename Interface>
using ComPtr = UniqueAny<Interface*, &close::releaseInterface<Interface>>;
using UniqueCoUninitializeCall = UniqueAny<int, &close::coUninitialize>;

// Cryptography (bcrypt): an algorithm provider, and a hash object made from one.
using UniqueAlgorithm = UniqueAny<BCRYPT_ALG_HANDLE, &close::closeAlgorithm>;
using UniqueHash = UniqueAny<BCRYPT_HASH_HANDLE, &BCryptDestroyHash>;
using UniqueBstr = UniqueAny<BSTR, &SysFreeString>;

}  // namespace common::win32
