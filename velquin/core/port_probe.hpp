// Tells whether the kelPortHi filter sits in the driver stack of a COM port:
// only the filter answers the probe request.
#pragma once

#include "common/core/failure.hpp"
#include "core/status_line.hpp"

#include <cstdint>
#include <memory>
#include <string>

namespace velquin {

struct LineSettings {
    std::uint32_t baudRate = 9600;
    std::uint8_t byteSize = 8;
    std::uint8_t parity = 0;    // NOPARITY
    std::uint8_t stopBits = 0;  // ONESTOPBIT
};

class SerialPort {
public:
    virtual ~SerialPort() = default;  // closes the port
    // Reads the port's configuration, replaces the four fields and applies it.
    virtual common::Result<> applyLineSettings(const LineSettings& settings) = 0;
    // Sends IOCTL_FILTER_PROBE; fails when the request does.
    virtual common::Result<> sendProbe() = 0;
};

class SerialPortLayer {
public:
    virtual ~SerialPortLayer() = default;
    // Opens the device path exclusively for reading and writing.
    virtual common::Result<std::unique_ptr<SerialPort>> open(const std::wstring& devicePath) = 0;
};

// True when the filter answered on configuredPort. Only a port that does not
// open is reported on the status line; the callers decide what else to show.
bool TestPort(SerialPortLayer& ports, StatusLine& status, const std::wstring& configuredPort);

}  // namespace velquin
