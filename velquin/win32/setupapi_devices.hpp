// COM-port devices through SetupAPI.
#pragma once

#include "device_layer.hpp"

namespace velquin::win32 {

class SetupApiDevices final : public DeviceLayer {
public:
    std::unique_ptr<DeviceWalk> OpenComPorts(DeviceScope scope, WalkError& error) override;
};

}  // namespace velquin::win32
