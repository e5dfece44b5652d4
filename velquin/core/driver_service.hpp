// The kelPortHi kernel service: registration from a .sys file and removal
// once the filter is off the devices.
#pragma once

#include "common/core/failure.hpp"
#include "core/upper_filters.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace velquin {

struct ServiceSettings {
    std::wstring name;
    std::wstring displayName;
    std::uint32_t type = 0;
    std::uint32_t startType = 0;
    std::uint32_t errorControl = 0;
    std::wstring imagePath;
};

// The service's settings for a driver image at imagePath.
ServiceSettings DriverServiceSettings(const std::wstring& imagePath);

class ServiceLayer {
public:
    virtual ~ServiceLayer() = default;
    // Fails with the call that could not open the service (among them
    // OpenServiceW with ERROR_SERVICE_DOES_NOT_EXIST when there is none).
    virtual common::Result<> IsInstalled() = 0;
    // Creates the service, or reconfigures an existing one in place.
    virtual common::Result<> Install(const ServiceSettings& settings) = 0;
    // Stops and deletes the service. Succeeds when it is gone or its deletion
    // is pending, also when it did not exist.
    virtual common::Result<> Delete(const std::wstring& name) = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // Absolute form of path, or nothing when it cannot be formed.
    virtual std::optional<std::wstring> FullPath(const std::wstring& path) = 0;
    virtual bool IsExistingFile(const std::wstring& fullPath) = 0;
};

// Whether the service exists and opens with the rights the program asks for;
// when it does not, the trace says why.
bool IsDriverInstalled(ServiceLayer& services);

// Registers the driver at driverPath (made absolute). Refuses an empty path
// and one naming no existing file: the system could never load it.
bool RegisterDriver(ServiceLayer& services, FileSystem& files, const std::wstring& driverPath);

// Detaches the filter from the devices, then deletes the service. The service
// stays when the filter could not be taken off every device. A service that
// cannot be deleted turns the status into the failed removal's text.
bool UnregisterDriver(ServiceLayer& services, FilterContext& filters);

}  // namespace velquin
