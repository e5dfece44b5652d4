// Service Control Manager, file system and serial ports of the local machine.
#pragma once

#include "driver_service.hpp"
#include "port_test.hpp"

namespace velquin::win32 {

class ScmServices final : public ServiceLayer {
public:
    bool IsInstalled() override;
    bool Install(const ServiceSettings& settings) override;
    bool Delete(const std::wstring& name) override;
};

class Win32Files final : public FileSystem {
public:
    std::optional<std::wstring> FullPath(const std::wstring& path) override;
    bool IsExistingFile(const std::wstring& fullPath) override;
};

class Win32SerialPorts final : public SerialPortLayer {
public:
    std::unique_ptr<SerialPort> Open(const std::wstring& devicePath) override;
};

}  // namespace velquin::win32
