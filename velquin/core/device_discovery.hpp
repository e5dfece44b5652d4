// The present COM-port devices, by friendly name, for the device list.
#pragma once

#include "device_layer.hpp"

#include <list>
#include <string>

namespace velquin {

struct DeviceEntry {
    std::wstring devicePath;
    std::wstring friendlyName;
    std::wstring description;
};

// "<call> failed. (err=<code in lower-case hex>)"
std::wstring FormatWalkError(const WalkError& error);

// Appends every present device that has both a friendly name and a
// description, in the walk's order. A failed walk throws its FormatWalkError
// text (std::wstring) and leaves devices as it was.
void EnumerateSerialDevices(DeviceLayer& layer, std::list<DeviceEntry>& devices);

}  // namespace velquin
