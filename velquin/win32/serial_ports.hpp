// COM ports opened through their device paths, for the port test.
#pragma once

#include "core/port_probe.hpp"

namespace velquin::win32 {

class Win32SerialPorts final : public SerialPortLayer {
public:
    common::Result<std::unique_ptr<SerialPort>> open(const std::wstring& devicePath) override;
};

}  // namespace velquin::win32
