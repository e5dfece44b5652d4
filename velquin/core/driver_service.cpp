#include "driver_service.hpp"

#include "driver_contract.hpp"

namespace velquin {
namespace {

constexpr std::uint32_t SERVICE_KERNEL_DRIVER = 1;
constexpr std::uint32_t SERVICE_DEMAND_START = 3;
constexpr std::uint32_t SERVICE_ERROR_IGNORE = 0;

}  // namespace

ServiceSettings DriverServiceSettings(const std::wstring& imagePath) {
    return {kDriverNameW,         kServiceDisplayNameW, SERVICE_KERNEL_DRIVER,
            SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, imagePath};
}

bool RegisterDriver(ServiceLayer& services, FileSystem& files, const std::wstring& driverPath) {
    if (driverPath.empty()) return false;
    const auto fullPath = files.FullPath(driverPath);
    if (!fullPath || !files.IsExistingFile(*fullPath)) return false;
    return services.Install(DriverServiceSettings(*fullPath));
}

bool UnregisterDriver(ServiceLayer& services, FilterContext& filters) {
    if (!RemoveFilterFromDevices(filters)) return false;
    return services.Delete(kDriverNameW);
}

}  // namespace velquin
