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
inline Result<UniqueCoUninitializeCall> initializeCom() {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(hr)) return UniqueCoUninitializeCall(1);  // S_OK and S_FALSE both count
    if (hr == RPC_E_CHANGED_MODE) return UniqueCoUninitializeCall();
    return FAILED_HRESULT(CoInitializeEx, hr);
}

// Owns a VARIANT and whatever it holds.
class UniqueVariant {
public:
    UniqueVariant() { VariantInit(&value_); }
    ~UniqueVariant() { VariantClear(&value_); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    UniqueVariant(UniqueVariant&& other) noexcept : UniqueVariant() {
        std::swap(value_, other.value_);
    }

    static UniqueVariant text(const std::wstring& s) {
        UniqueVariant v;
        v.value_.bstrVal = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
        if (v.value_.bstrVal) v.value_.vt = VT_BSTR;
        return v;
    }
    static UniqueVariant boolean(bool b) {
        UniqueVariant v;
        v.value_.vt = VT_BOOL;
        v.value_.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
        return v;
    }

    VARIANT* put() {
        VariantClear(&value_);
        return &value_;
    }
    const VARIANT& get() const { return value_; }
    bool hasValue() const { return value_.vt != VT_EMPTY; }

private:
    VARIANT value_;
};

// Takes over the texts an Invoke error hands back and turns them into the
// failure of that call; the description is what the object said went wrong.
inline Failure invokeFailure(std::wstring call, HRESULT hr, EXCEPINFO& info) {
    const UniqueBstr source(info.bstrSource);
    const UniqueBstr description(info.bstrDescription);
    const UniqueBstr helpFile(info.bstrHelpFile);
    // The object's own code says more than DISP_E_EXCEPTION does.
    const HRESULT reported = hr == DISP_E_EXCEPTION && FAILED(info.scode) ? info.scode : hr;
    info = {};
    return hresultFailure(std::move(call), reported,
                          description ? std::wstring(description.get()) : std::wstring());
}

}  // namespace common::win32
