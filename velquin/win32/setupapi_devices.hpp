// COM-port devices through SetupAPI.
#pragma once

#include "core/device_layer.hpp"

namespace velquin::win32 {

class SetupApiDevices final : public DeviceLayer {
public:
    common::Result<std::unique_ptr<DeviceWalk>> openComPorts(DeviceScope scope) override;
};

}  // namespace velquin::win32
