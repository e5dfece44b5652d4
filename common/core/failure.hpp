// A failed platform call: which call, and the code it answered with.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
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
    std::wstring detail;  // what the callee said about it (EXCEPINFO), or empty

    // "CreateFileW failed: error 5" or
    // "CopyFolder failed: HRESULT 0x800a0046 (Permission denied)"
    std::wstring text() const;
};

inline Failure win32Failure(std::wstring call, std::uint32_t code) {
    return {std::move(call), ErrorKind::Win32, code, {}};
}

inline Failure hresultFailure(std::wstring call, std::int32_t hr, std::wstring detail = {}) {
    return {std::move(call), ErrorKind::HResult, static_cast<std::uint32_t>(hr), std::move(detail)};
}

// The result of an operation that either did its job or failed for a reason.
class [[nodiscard]] Outcome {
public:
    Outcome() = default;
    Outcome(Failure failure) : failure_(std::move(failure)) {}

    static Outcome success() { return {}; }

    explicit operator bool() const { return !failure_; }
    const Failure& failure() const { return *failure_; }

private:
    std::optional<Failure> failure_;
};

}  // namespace common
