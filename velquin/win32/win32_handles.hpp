// Owners of the Win32 handles this program opens; each closes on every path.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <utility>

namespace velquin::win32 {

// Traits give the handle type, its invalid value and how to close it.
template <typename Traits>
class UniqueHandle {
    using Handle = typename Traits::Handle;

public:
    UniqueHandle() = default;
    explicit UniqueHandle(Handle h) : handle_(h) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept
        : handle_(std::exchange(other.handle_, Traits::Invalid())) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, Traits::Invalid());
        }
        return *this;
    }
    ~UniqueHandle() { reset(); }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Traits::Invalid(); }
    void reset() {
        if (handle_ != Traits::Invalid()) Traits::Close(std::exchange(handle_, Traits::Invalid()));
    }

private:
    Handle handle_ = Traits::Invalid();
};

struct ServiceTraits {
    using Handle = SC_HANDLE;
    static Handle Invalid() { return nullptr; }
    static void Close(Handle h) { ::CloseServiceHandle(h); }
};
struct FileTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { ::CloseHandle(h); }
};
struct DeviceSetTraits {
    using Handle = HDEVINFO;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { ::SetupDiDestroyDeviceInfoList(h); }
};

using ServiceHandle = UniqueHandle<ServiceTraits>;
using FileHandle = UniqueHandle<FileTraits>;
using DeviceSetHandle = UniqueHandle<DeviceSetTraits>;

}  // namespace velquin::win32
