#include "core/driver_service.hpp"

#include "common/core/trace.hpp"
#include "core/driver_contract.h"

namespace velquin {
namespace {

constexpr wchar_t serviceDisplayName[] = L"KelPortHi filter driver";
// The service database's values, which this portable layer cannot take from
// the SDK: a kernel driver, started on demand, whose load errors are ignored.
constexpr std::uint32_t kernelDriverType = 1;
constexpr std::uint32_t demandStart = 3;
constexpr std::uint32_t ignoreLoadErrors = 0;

}  // namespace

ServiceSettings driverServiceSettings(const std::wstring& imagePath) {
    return {FILTER_DRIVER_NAME_W, serviceDisplayName, kernelDriverType,
            demandStart,          ignoreLoadErrors,   imagePath};
}

bool IsDriverInstalled(ServiceLayer& services) {
    const auto installed = services.isInstalled();
    if (!installed) common::trace(installed.failure());
    return static_cast<bool>(installed);
}

common::Result<> RegisterDriver(ServiceLayer& services, FileSystem& files,
                                const std::wstring& driverPath) {
    const auto file = files.existingFile(driverPath);
    if (!file) return file.failure();
    return services.install(driverServiceSettings(*file));
}

bool UnregisterDriver(ServiceLayer& services, FilterContext& filters) {
    if (!RemoveFilterFromDevices(filters)) {
        common::trace(L"UnregisterDriver: the filter may still be on a device; service kept");
        return false;
    }
    // The removal has already reported success; a service left behind undoes that.
    if (const auto removed = services.remove(FILTER_DRIVER_NAME_W); !removed) {
        common::trace(removed.failure());
        filters.status.set(removeFailed);
        return false;
    }
    return true;
}

}  // namespace velquin
