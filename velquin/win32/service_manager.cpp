#include "win32/service_manager.hpp"

#include "common/core/trace.hpp"
#include "common/win32/failed_call.hpp"
#include "common/win32/unique_any.hpp"
#include "core/driver_contract.h"

namespace velquin::win32 {
namespace {

using common::win32::UniqueServiceHandle;

// The right to create services is asked for every operation, so a user
// without administrative rights sees the service as not installed.
UniqueServiceHandle openServiceManager() {
    return UniqueServiceHandle(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
}

constexpr DWORD serviceAccess = DELETE | SERVICE_STOP | SERVICE_START;

common::Result<> reconfigure(SC_HANDLE service, const ServiceSettings& s) {
    if (!ChangeServiceConfigW(service, s.type, s.startType, s.errorControl, s.imagePath.c_str(),
                              nullptr, nullptr, nullptr, nullptr, nullptr, s.displayName.c_str()))
        return FAILED_CALL(ChangeServiceConfigW);
    return {};
}

}  // namespace

common::Result<> ScmServices::isInstalled() {
    const UniqueServiceHandle manager = openServiceManager();
    if (!manager) return FAILED_CALL(OpenSCManagerW);
    if (!UniqueServiceHandle(OpenServiceW(manager.get(), FILTER_DRIVER_NAME_W, serviceAccess)))
        return FAILED_CALL(OpenServiceW);
    return {};
}

common::Result<> ScmServices::install(const ServiceSettings& s) {
    const UniqueServiceHandle manager = openServiceManager();
    if (!manager) return FAILED_CALL(OpenSCManagerW);
    // An existing service is changed in place: delete and re-create would fail
    // while its deletion is still pending.
    const UniqueServiceHandle existing(
        OpenServiceW(manager.get(), s.name.c_str(), serviceAccess | SERVICE_CHANGE_CONFIG));
    if (existing) return reconfigure(existing.get(), s);
    if (GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST) return FAILED_CALL(OpenServiceW);
    const UniqueServiceHandle created(CreateServiceW(
        manager.get(), s.name.c_str(), s.displayName.c_str(), serviceAccess, s.type, s.startType,
        s.errorControl, s.imagePath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!created) return FAILED_CALL(CreateServiceW);
    return {};
}

common::Result<> ScmServices::remove(const std::wstring& name) {
    const UniqueServiceHandle manager = openServiceManager();
    if (!manager) return FAILED_CALL(OpenSCManagerW);
    const UniqueServiceHandle service(OpenServiceW(manager.get(), name.c_str(), serviceAccess));
    if (!service) {
        if (GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) return {};
        return FAILED_CALL(OpenServiceW);
    }
    // Fire and forget: a driver that is not running cannot stop, and one that
    // is goes once the system unloads it.
    SERVICE_STATUS status{};
    if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &status))
        common::trace(FAILED_CALL(ControlService).about(L"SERVICE_CONTROL_STOP"));
    if (!DeleteService(service.get()) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE)
        return FAILED_CALL(DeleteService);
    return {};
}

}  // namespace velquin::win32
