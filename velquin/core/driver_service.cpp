#include "core/driver_service.hpp"

#include "common/core/trace.hpp"
#include "core/driver_contract.hpp"

namespace velquin {
namespace {

constexpr std::uint32_t SERVICE_KERNEL_DRIVER = 1;
constexpr std::uint32_t SERVICE_DEMAND_START = 3;
constexpr std::uint32_t SERVICE_ERROR_IGNORE = 0;

bool Traced(const wchar_t* operation, const common::Outcome& outcome) {
    if (!outcome) common::trace(std::wstring(operation) + L": " + outcome.failure().text());
    return static_cast<bool>(outcome);
}

}  // namespace

ServiceSettings DriverServiceSettings(const std::wstring& imagePath) {
    return {kDriverNameW,         kServiceDisplayNameW, SERVICE_KERNEL_DRIVER,
            SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, imagePath};
}

bool IsDriverInstalled(ServiceLayer& services) {
    return Traced(L"IsDriverInstalled", services.IsInstalled());
}

bool RegisterDriver(ServiceLayer& services, FileSystem& files, const std::wstring& driverPath) {
    const auto fullPath = driverPath.empty() ? std::nullopt : files.FullPath(driverPath);
    if (!fullPath || !files.IsExistingFile(*fullPath)) {
        common::trace(L"RegisterDriver: no driver file at \"" + driverPath + L"\"");
        return false;
    }
    return Traced(L"RegisterDriver", services.Install(DriverServiceSettings(*fullPath)));
}

bool UnregisterDriver(ServiceLayer& services, FilterContext& filters) {
    if (!RemoveFilterFromDevices(filters)) {
        common::trace(L"UnregisterDriver: the filter may still be on a device; service kept");
        return false;
    }
    // The removal has already reported success; a service left behind undoes that.
    if (!Traced(L"UnregisterDriver", services.Delete(kDriverNameW))) {
        filters.status.Set(kRemoveFailed);
        return false;
    }
    return true;
}

}  // namespace velquin
