// COM ports opened through their device paths, for the port test.
#pragma once

#include "core/port_probe.hpp"

namespace velquin::win32 {

class Win32SerialPorts final : public SerialPortLayer {
public:
    std::unique_ptr<SerialPort> Open(const std::wstring& devicePath,
                                     common::Failure& failure) override;
};

}  // namespace velquin::win32
