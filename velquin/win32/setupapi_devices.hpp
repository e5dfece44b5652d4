// COM-port devices through SetupAPI.
#pragma once

#include "core/device_layer.hpp"

namespace velquin::win32 {

class SetupApiDevices final : public DeviceLayer {
public:
    std::unique_ptr<DeviceWalk> OpenComPorts(DeviceScope scope, common::Failure& failure) override;
};

}  // namespace velquin::win32
