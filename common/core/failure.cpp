#include "common/core/failure.hpp"

#include <cwchar>

namespace common {

std::wstring Failure::text() const {
    wchar_t code_text[32];
    if (kind == ErrorKind::HResult) {
        std::swprintf(code_text, std::size(code_text), L"HRESULT 0x%08lx",
                      static_cast<unsigned long>(code));
    } else {
        std::swprintf(code_text, std::size(code_text), L"error %lu",
                      static_cast<unsigned long>(code));
    }
    std::wstring text = call + L" failed: " + code_text;
    if (!detail.empty()) text += L" (" + detail + L")";
    return text;
}

}  // namespace common
