#include "core/driver_service.hpp"

#include "common/core/trace.hpp"
#include "core/driver_contract.h"

namespace velquin {
namespace {

constexpr wchar_t kServiceDisplayName[] = L"KelPortHi filter driver";
// The service database's values, which this portable layer cannot take from
// the SDK: a kernel driver, started on demand, whose load errors are ignored.
constexpr std::uint32_t kKernelDriverType = 1;
constexpr std::uint32_t kDemandStart = 3;
constexpr std::uint32_t kIgnoreLoadErrors = 0;

bool Traced(const wchar_t* operation, const common::Result<>& outcome) {
    if (!outcome) common::trace(std::wstring(operation) + L": " + outcome.failure().text());
    return static_cast<bool>(outcome);
}

}  // namespace

ServiceSettings DriverServiceSettings(const std::wstring& imagePath) {
    return {FILTER_DRIVER_NAME_W, kServiceDisplayName, kKernelDriverType,
            kDemandStart,         kIgnoreLoadErrors,   imagePath};
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
    if (!Traced(L"UnregisterDriver", services.Delete(FILTER_DRIVER_NAME_W))) {
        filters.status.Set(kRemoveFailed);
        return false;
    }
    return true;
}

}  // namespace velquin
