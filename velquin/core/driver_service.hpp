// The kelPortHi kernel service: registration from a .sys file and removal
// once the filter is off the devices.
#pragma once

#include "common/core/failure.hpp"
#include "core/upper_filters.hpp"

#include <cstdint>
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
ServiceSettings driverServiceSettings(const std::wstring& imagePath);

class ServiceLayer {
public:
    virtual ~ServiceLayer() = default;
    // Fails with the call that could not open the service (among them
    // OpenServiceW with ERROR_SERVICE_DOES_NOT_EXIST when there is none).
    virtual common::Result<> isInstalled() = 0;
    // Creates the service, or reconfigures an existing one in place.
    virtual common::Result<> install(const ServiceSettings& settings) = 0;
    // Stops and deletes the service. Succeeds when it is gone or its deletion
    // is pending, also when it did not exist.
    virtual common::Result<> remove(const std::wstring& name) = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // The absolute form of path when it names an existing file. Fails with
    // the call that said otherwise (a folder: ERROR_FILE_NOT_FOUND, as no file
    // of that name exists).
    virtual common::Result<std::wstring> existingFile(const std::wstring& path) = 0;
};

// Whether the service exists and opens with the rights the program asks for;
// when it does not, the trace says why.
bool IsDriverInstalled(ServiceLayer& services);

// Registers the driver at driverPath (made absolute). Refuses a path naming
// no existing file: the system could never load it.
common::Result<> RegisterDriver(ServiceLayer& services, FileSystem& files,
                                const std::wstring& driverPath);

// Detaches the filter from the devices, then deletes the service. The service
// stays when the filter could not be taken off every device. A service that
// cannot be deleted turns the status into the failed removal's text.
bool UnregisterDriver(ServiceLayer& services, FilterContext& filters);

}  // namespace velquin
