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

enum class WalkStep { Device, End, Error };

class DeviceWalk {
public:
    virtual ~DeviceWalk() = default;
    // Moves to the next device. After Error, LastError() tells which call failed.
    virtual WalkStep Next() = 0;
    virtual common::Failure LastError() const = 0;

    // Properties of the current device.
    virtual std::wstring DevicePath() const = 0;
    virtual std::optional<std::wstring> FriendlyName() = 0;
    virtual std::optional<std::wstring> Description() = 0;
    // The UpperFilters bytes, whole whatever their length, and their registry
    // type (REG_*); empty and without a type when the device has no such value.
    virtual common::Result<> ReadUpperFilters(std::vector<unsigned char>& value,
                                              std::optional<std::uint32_t>& type) = 0;
    virtual common::Result<> WriteUpperFilters(std::span<const unsigned char> value) = 0;
};

class DeviceLayer {
public:
    virtual ~DeviceLayer() = default;
    // Null when the device set cannot be obtained; failure then says why.
    virtual std::unique_ptr<DeviceWalk> OpenComPorts(DeviceScope scope,
                                                     common::Failure& failure) = 0;
};

}  // namespace velquin
