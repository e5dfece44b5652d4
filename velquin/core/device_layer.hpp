// Narrow view of the COM-port device set: one walk over the device interfaces
// of the COM-port class, with the properties this program reads and writes.
#pragma once

#include "common/core/failure.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velquin {

enum class DeviceScope { PresentOnly, AllInstalled };

enum class WalkStep { Device, End };

// A device's UpperFilters: the bytes, whole whatever their length, and their
// registry type (REG_*); empty and without a type when there is no such value.
struct FilterValue {
    std::vector<unsigned char> bytes;
    std::optional<std::uint32_t> type;
};

class DeviceWalk {
public:
    virtual ~DeviceWalk() = default;
    // Moves to the next device, or past the last; fails with the call that
    // could not move on.
    virtual common::Result<WalkStep> next() = 0;

    // Properties of the current device.
    virtual std::wstring devicePath() const = 0;
    virtual std::optional<std::wstring> friendlyName() = 0;
    virtual std::optional<std::wstring> description() = 0;
    virtual common::Result<FilterValue> readUpperFilters() = 0;
    virtual common::Result<> writeUpperFilters(std::span<const unsigned char> value) = 0;
};

class DeviceLayer {
public:
    virtual ~DeviceLayer() = default;
    virtual common::Result<std::unique_ptr<DeviceWalk>> openComPorts(DeviceScope scope) = 0;
};

}  // namespace velquin
