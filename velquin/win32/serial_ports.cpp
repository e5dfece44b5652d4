#include "win32/serial_ports.hpp"

#include "common/win32/unique_any.hpp"
#include "core/driver_contract.h"

namespace velquin::win32 {
namespace {

using common::win32::unique_hfile;

class Win32SerialPort final : public SerialPort {
public:
    explicit Win32SerialPort(unique_hfile port) : port_(std::move(port)) {}

    common::Result<> ApplyLineSettings(const LineSettings& settings) override {
        DCB dcb{};
        dcb.DCBlength = sizeof(dcb);
        if (!GetCommState(port_.get(), &dcb))
            return common::win32Failure(L"GetCommState", GetLastError());
        dcb.BaudRate = settings.baudRate;
        dcb.ByteSize = settings.byteSize;
        dcb.Parity = settings.parity;
        dcb.StopBits = settings.stopBits;
        if (!SetCommState(port_.get(), &dcb))
            return common::win32Failure(L"SetCommState", GetLastError());
        return common::Result<>();
    }

    common::Result<> SendProbe() override {
        unsigned char buffer[FILTER_PROBE_BUFFER_SIZE] = {};
        DWORD returned = 0;
        if (!DeviceIoControl(port_.get(), IOCTL_FILTER_PROBE, buffer, sizeof(buffer), buffer,
                             sizeof(buffer), &returned, nullptr))
            return common::win32Failure(L"DeviceIoControl(IOCTL_FILTER_PROBE)", GetLastError());
        return common::Result<>();
    }

private:
    unique_hfile port_;
};

}  // namespace

std::unique_ptr<SerialPort> Win32SerialPorts::Open(const std::wstring& devicePath,
                                                   common::Failure& failure) {
    unique_hfile port(CreateFileW(devicePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (!port) {
        failure = common::win32Failure(L"CreateFileW", GetLastError());
        return nullptr;
    }
    return std::make_unique<Win32SerialPort>(std::move(port));
}

}  // namespace velquin::win32
