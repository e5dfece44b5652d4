#include "win32/service_manager.hpp"

#include "common/core/trace.hpp"
#include "common/win32/unique_any.hpp"
#include "core/driver_contract.h"

namespace velquin::win32 {
namespace {

using common::win32::unique_schandle;

// The right to create services is asked for every operation, so a user
// without administrative rights sees the service as not installed.
unique_schandle OpenServiceManager() {
    return unique_schandle(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
}

constexpr DWORD kServiceAccess = DELETE | SERVICE_STOP | SERVICE_START;

common::Result<> Reconfigure(SC_HANDLE service, const ServiceSettings& s) {
    if (!ChangeServiceConfigW(service, s.type, s.startType, s.errorControl, s.imagePath.c_str(),
                              nullptr, nullptr, nullptr, nullptr, nullptr, s.displayName.c_str()))
        return common::win32Failure(L"ChangeServiceConfigW", GetLastError());
    return common::Result<>();
}

}  // namespace

common::Result<> ScmServices::IsInstalled() {
    const unique_schandle manager = OpenServiceManager();
    if (!manager) return common::win32Failure(L"OpenSCManagerW", GetLastError());
    if (!unique_schandle(OpenServiceW(manager.get(), FILTER_DRIVER_NAME_W, kServiceAccess)))
        return common::win32Failure(L"OpenServiceW", GetLastError());
    return common::Result<>();
}

common::Result<> ScmServices::Install(const ServiceSettings& s) {
    const unique_schandle manager = OpenServiceManager();
    if (!manager) return common::win32Failure(L"OpenSCManagerW", GetLastError());
    // An existing service is changed in place: delete and re-create would fail
    // while its deletion is still pending.
    const unique_schandle existing(
        OpenServiceW(manager.get(), s.name.c_str(), kServiceAccess | SERVICE_CHANGE_CONFIG));
    if (existing) return Reconfigure(existing.get(), s);
    if (GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST)
        return common::win32Failure(L"OpenServiceW", GetLastError());
    const unique_schandle created(CreateServiceW(
        manager.get(), s.name.c_str(), s.displayName.c_str(), kServiceAccess, s.type, s.startType,
        s.errorControl, s.imagePath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!created) return common::win32Failure(L"CreateServiceW", GetLastError());
    return common::Result<>();
}

common::Result<> ScmServices::Delete(const std::wstring& name) {
    const unique_schandle manager = OpenServiceManager();
    if (!manager) return common::win32Failure(L"OpenSCManagerW", GetLastError());
    const unique_schandle service(OpenServiceW(manager.get(), name.c_str(), kServiceAccess));
    if (!service) {
        if (GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) return common::Result<>();
        return common::win32Failure(L"OpenServiceW", GetLastError());
    }
    // Fire and forget: a driver that is not running cannot stop, and one that
    // is goes once the system unloads it.
    SERVICE_STATUS status{};
    if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &status))
        common::trace(L"UnregisterDriver: " +
                      common::win32Failure(L"ControlService(STOP)", GetLastError()).text());
    if (!DeleteService(service.get()) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE)
        return common::win32Failure(L"DeleteService", GetLastError());
    return common::Result<>();
}

}  // namespace velquin::win32
