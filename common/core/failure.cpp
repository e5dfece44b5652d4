#include "common/core/failure.hpp"

#include "common/core/text.hpp"

namespace common {

std::wstring Failure::text() const {
    std::wstring text = call + L" failed: ";
    text += kind == ErrorKind::HResult ? L"HRESULT 0x" + numberText(code, 16, 8)
                                       : L"error " + numberText(code);
    if (!detail.empty()) text += L" (" + detail + L")";
    return text;
}

}  // namespace common
