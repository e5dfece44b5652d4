// A failed platform call: which call, and the code it answered with.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace common {

enum class ErrorKind {
    Win32,    // a system error code (GetLastError, LSTATUS, CONFIGRET mapped to one)
    HResult,  // a COM result
};

struct Failure {
    std::wstring call;  // the failing call, as a reader finds it in the code
    ErrorKind kind = ErrorKind::Win32;
    std::uint32_t code = 0;
    // What the call was made on (a path, a control code), or what the
    // callee said about it (EXCEPINFO); may be empty.
    std::wstring detail;

    // "CreateFileW failed: error 5 (C:\Orvexa\Events)" or
    // "CopyFolder failed: HRESULT 0x800a0046 (Permission denied)"
    std::wstring text() const;

    Failure&& about(std::wstring_view what) && {
        detail.append(detail.empty() ? L"" : L"; ").append(what);
        return std::move(*this);
    }
};

// The call's name is taken as a view so that building the failure reads
// nothing of the system before the code was read.
inline Failure win32Failure(std::wstring_view call, std::uint32_t code) {
    return {std::wstring(call), ErrorKind::Win32, code, {}};
}

inline Failure hresultFailure(std::wstring_view call, std::int32_t hr,
                              std::wstring_view detail = {}) {
    return {std::wstring(call), ErrorKind::HResult, static_cast<std::uint32_t>(hr),
            std::wstring(detail)};
}

// What an operation that can fail for a cause returns: its value, or the
// failure that stopped it. Result<> carries no value.
template <typename T = void>
class [[nodiscard]] Result {
public:
    Result(T value) : value_(std::move(value)) {}
    Result(Failure failure) : failure_(std::move(failure)) {}

    explicit operator bool() const { return value_.has_value(); }
    T& operator*() { return *value_; }
    const T& operator*() const { return *value_; }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    const Failure& failure() const { return *failure_; }

private:
    std::optional<T> value_;
    std::optional<Failure> failure_;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failure) : failure_(std::move(failure)) {}

    explicit operator bool() const { return !failure_; }
    const Failure& failure() const { return *failure_; }

private:
    std::optional<Failure> failure_;
};

}  // namespace common
