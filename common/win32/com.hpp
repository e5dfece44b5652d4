// COM pieces the scripting calls need, on top of the handle owners:
// apartment set-up, VARIANT ownership, and the failure an Invoke reports.
#pragma once

#include "common/core/failure.hpp"
#include "common/win32/failed_call.hpp"
#include "common/win32/unique_any.hpp"

#include <oleauto.h>

#include <string>
#include <utility>

namespace common::win32 {

// Joins the thread to a single-threaded apartment; the owner balances the
// call. A thread already in another apartment mode is usable as it is, and
// its owner is empty: that apartment is not ours to leave.
inline Result<unique_couninitialize_call> initializeCom() {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(hr)) return unique_couninitialize_call(1);  // S_OK and S_FALSE both count
    if (hr == RPC_E_CHANGED_MODE) return unique_couninitialize_call();
    return FAILED_HRESULT(CoInitializeEx, hr);
}

// Owns a VARIANT and whatever it holds.
class unique_variant {
public:
    unique_variant() { VariantInit(&value_); }
    ~unique_variant() { VariantClear(&value_); }
    unique_variant(const unique_variant&) = delete;
    unique_variant& operator=(const unique_variant&) = delete;
    unique_variant(unique_variant&& other) noexcept : unique_variant() {
        std::swap(value_, other.value_);
    }

    static unique_variant text(const std::wstring& s) {
        unique_variant v;
        v.value_.bstrVal = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
        if (v.value_.bstrVal) v.value_.vt = VT_BSTR;
        return v;
    }
    static unique_variant boolean(bool b) {
        unique_variant v;
        v.value_.vt = VT_BOOL;
        v.value_.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
        return v;
    }

    VARIANT* put() {
        VariantClear(&value_);
        return &value_;
    }
    const VARIANT& get() const { return value_; }
    bool has_value() const { return value_.vt != VT_EMPTY; }

private:
    VARIANT value_;
};

// Takes over the texts an Invoke error hands back and turns them into the
// failure of that call; the description is what the object said went wrong.
inline Failure invokeFailure(std::wstring call, HRESULT hr, EXCEPINFO& info) {
    const unique_bstr source(info.bstrSource);
    const unique_bstr description(info.bstrDescription);
    const unique_bstr helpFile(info.bstrHelpFile);
    // The object's own code says more than DISP_E_EXCEPTION does.
    const HRESULT reported = hr == DISP_E_EXCEPTION && FAILED(info.scode) ? info.scode : hr;
    info = {};
    return hresultFailure(std::move(call), reported,
                          description ? std::wstring(description.get()) : std::wstring());
}

}  // namespace common::win32
