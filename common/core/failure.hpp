// A failed platform call: which call, and the code it answered with; or a
// stop the program decided on itself, which the detail describes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace common {

enum class ErrorKind {
    Win32,    // a system error code (GetLastError, LSTATUS, CONFIGRET mapped to one)
    HResult,  // a COM result
    Stop,     // no call failed: the program refused to go on
};

struct Failure {
    std::wstring call;  // the failing call, as a reader finds it in the code
    ErrorKind kind = ErrorKind::Win32;
    std::uint32_t code = 0;
    // What the call was made on (a path, a control code), or what the
    // callee said about it (EXCEPINFO); may be empty.
    std::wstring detail;

    // "CreateFileW failed: error 5 (C:\Orvexa\Events)",
    // "CopyFolder failed: HRESULT 0x800a0046 (Permission denied)" or, for a
    // stop, "Update: no free name for a copy of Events"
    std::wstring text() const;

    // Adds what the call was made on to the detail.
    Failure&& about(std::wstring_view what) &&;

    // Out of line, as everything that builds or drops a failure: failures
    // are handled at many places and rarely, so their code is kept small.
    Failure();
    Failure(std::wstring call, ErrorKind kind, std::uint32_t code, std::wstring detail);
    Failure(const Failure&);
    Failure(Failure&&) noexcept;
    Failure& operator=(const Failure&);
    Failure& operator=(Failure&&) noexcept;
    ~Failure();
};

// The call's name is taken as a view so that building the failure reads
// nothing of the system before the code was read. These are out of line:
// a failure is built at many places and rarely.
Failure win32Failure(std::wstring_view call, std::uint32_t code);
Failure hresultFailure(std::wstring_view call, std::int32_t hr, std::wstring_view detail = {});

// What the program refuses to go on with, named after the part that refused.
Failure stopFailure(std::wstring_view where, std::wstring_view why);

// The failure a Result holds, if any: one pointer, so that results are
// passed on at the cost of a pointer and the failure's text is built once.
class FailureSlot {
public:
    FailureSlot() = default;
    FailureSlot(Failure&& failure);
    FailureSlot(const FailureSlot& other);
    FailureSlot(FailureSlot&&) noexcept = default;
    FailureSlot& operator=(const FailureSlot& other);
    FailureSlot& operator=(FailureSlot&&) noexcept = default;
    ~FailureSlot();

    explicit operator bool() const { return failure_ != nullptr; }
    const Failure& operator*() const { return *failure_; }

private:
    std::unique_ptr<Failure> failure_;
};

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
    FailureSlot failure_;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failure) : failure_(std::move(failure)) {}

    explicit operator bool() const { return !failure_; }
    const Failure& failure() const { return *failure_; }

private:
    FailureSlot failure_;
};

}  // namespace common
