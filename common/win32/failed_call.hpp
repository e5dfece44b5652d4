// A failed platform call, captured under the call's own name. The macro's
// argument is the function itself, so the compiler checks the name a trace
// shows and it cannot drift from the code; the code is read first, before
// anything else can change the thread's last error.
//
//     if (!file) return FAILED_CALL(CreateFileW).about(path);
//     if (status != ERROR_SUCCESS) return FAILED_STATUS(RegOpenKeyA, status);
//     if (FAILED(hr)) return FAILED_HRESULT(CoCreateInstance, hr);
#pragma once

#include "common/core/failure.hpp"

#include <windows.h>

#include <cstdint>

#define COMMON_CALL_NAME(function) (static_cast<void>(sizeof(&function)), L"" #function)

// The calling thread's last error, as the call left it.
#define FAILED_CALL(function) \
    ::common::win32Failure(COMMON_CALL_NAME(function), static_cast<std::uint32_t>(::GetLastError()))

// A system error code the call returned (LSTATUS, a CONFIGRET mapped to one).
#define FAILED_STATUS(function, status) \
    ::common::win32Failure(COMMON_CALL_NAME(function), static_cast<std::uint32_t>(status))

#define FAILED_HRESULT(function, hr) ::common::hresultFailure(COMMON_CALL_NAME(function), (hr))
