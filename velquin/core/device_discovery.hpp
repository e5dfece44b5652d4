// The present COM-port devices, by friendly name, for the device list.
#pragma once

#include "common/core/failure.hpp"
#include "core/device_layer.hpp"

#include <list>
#include <string>

namespace velquin {

struct DeviceEntry {
    std::wstring devicePath;
    std::wstring friendlyName;
    std::wstring description;
};

// "<call> failed. (err=<code in lower-case hex>)", as the status line shows it.
std::wstring WalkErrorText(const common::Failure& failure);

// Appends every present device that has both a friendly name and a
// description, in the walk's order. A failed walk throws the failing call as
// common::Failure and leaves devices as it was.
void EnumerateSerialDevices(DeviceLayer& layer, std::list<DeviceEntry>& devices);

}  // namespace velquin
