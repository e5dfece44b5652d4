// Narrow view of the COM-port device set: one walk over the device interfaces
// of the COM-port class, with the properties this program reads and writes.
#pragma once

#include "filter_list.hpp"

#include <memory>
#include <optional>
#include <string>

namespace velquin {

enum class DeviceScope { PresentOnly, AllInstalled };

enum class WalkStep { Device, End, Error };

// The platform call that ended a walk early, and its error code.
struct WalkError {
    std::wstring call;
    unsigned long code = 0;
};

enum class FilterRead {
    Read,        // value in the buffer; count 0 when the device has none
    DoesNotFit,  // larger than the buffer
    Failed,      // any other failure: the value is unknown
};

class DeviceWalk {
public:
    virtual ~DeviceWalk() = default;
    // Moves to the next device. After Error, LastError() tells why.
    virtual WalkStep Next() = 0;
    virtual WalkError LastError() const = 0;

    // Properties of the current device.
    virtual std::wstring DevicePath() const = 0;
    virtual std::optional<std::wstring> FriendlyName() = 0;
    virtual std::optional<std::wstring> Description() = 0;
    virtual FilterRead ReadUpperFilters(FilterBuffer& value, std::size_t& count) = 0;
    virtual bool WriteUpperFilters(const FilterBuffer& value, std::size_t count) = 0;
};

class DeviceLayer {
public:
    virtual ~DeviceLayer() = default;
    // Null when the device set cannot be obtained; error then holds why.
    virtual std::unique_ptr<DeviceWalk> OpenComPorts(DeviceScope scope, WalkError& error) = 0;
};

}  // namespace velquin
