#include "common/core/failure.hpp"

#include "common/core/text.hpp"

namespace common {

std::wstring Failure::text() const {
    if (kind == ErrorKind::Stop) return concat({call, L": ", detail});
    const bool com = kind == ErrorKind::HResult;
    std::wstring text = concat({call, L" failed: ", com ? L"HRESULT 0x" : L"error ",
                                numberText(code, com ? 16 : 10, com ? 8 : 1)});
    if (!detail.empty()) text += concat({L" (", detail, L")"});
    return text;
}

Failure::Failure(std::wstring call, ErrorKind kind, std::uint32_t code, std::wstring detail)
    : call(std::move(call)), kind(kind), code(code), detail(std::move(detail)) {}
Failure::Failure() = default;
Failure::Failure(const Failure&) = default;
Failure::Failure(Failure&&) noexcept = default;
Failure& Failure::operator=(const Failure&) = default;
Failure& Failure::operator=(Failure&&) noexcept = default;
Failure::~Failure() = default;

Failure&& Failure::about(std::wstring_view what) && {
    detail.append(detail.empty() ? L"" : L"; ").append(what);
    return std::move(*this);
}

Failure win32Failure(std::wstring_view call, std::uint32_t code) {
    return {std::wstring(call), ErrorKind::Win32, code, {}};
}

Failure hresultFailure(std::wstring_view call, std::int32_t hr, std::wstring_view detail) {
    return {std::wstring(call), ErrorKind::HResult, static_cast<std::uint32_t>(hr),
            std::wstring(detail)};
}

Failure stopFailure(std::wstring_view where, std::wstring_view why) {
    return {std::wstring(where), ErrorKind::Stop, 0, std::wstring(why)};
}

FailureSlot::FailureSlot(Failure&& failure) : failure_(new Failure(std::move(failure))) {}

FailureSlot::FailureSlot(const FailureSlot& other)
    : failure_(other.failure_ ? new Failure(*other.failure_) : nullptr) {}

FailureSlot& FailureSlot::operator=(const FailureSlot& other) {
    if (this != &other) *this = FailureSlot(other);
    return *this;
}

FailureSlot::~FailureSlot() = default;

}  // namespace common
