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
std::wstring walkErrorText(const common::Failure& failure);

// Every present device that has both a friendly name and a description, in
// the walk's order; a walk cut short fails with the call that cut it.
common::Result<std::list<DeviceEntry>> EnumerateSerialDevices(DeviceLayer& layer);

}  // namespace velquin
