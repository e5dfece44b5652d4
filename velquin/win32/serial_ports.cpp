#include "win32/serial_ports.hpp"

#include "common/win32/failed_call.hpp"
#include "common/win32/unique_any.hpp"
#include "core/driver_contract.h"

namespace velquin::win32 {
namespace {

using common::win32::UniqueFile;

class Win32SerialPort final : public SerialPort {
public:
    explicit Win32SerialPort(UniqueFile port) : port_(std::move(port)) {}

    common::Result<> applyLineSettings(const LineSettings& settings) override {
        DCB dcb{};
        dcb.DCBlength = sizeof(dcb);
        if (!GetCommState(port_.get(), &dcb)) return FAILED_CALL(GetCommState);
        dcb.BaudRate = settings.baudRate;
        dcb.ByteSize = settings.byteSize;
        dcb.Parity = settings.parity;
        dcb.StopBits = settings.stopBits;
        if (!SetCommState(port_.get(), &dcb)) return FAILED_CALL(SetCommState);
        return {};
    }

    common::Result<> sendProbe() override {
        unsigned char buffer[FILTER_PROBE_BUFFER_SIZE] = {};
        DWORD returned = 0;
        if (!DeviceIoControl(port_.get(), IOCTL_FILTER_PROBE, buffer, sizeof(buffer), buffer,
                             sizeof(buffer), &returned, nullptr))
            return FAILED_CALL(DeviceIoControl).about(L"IOCTL_FILTER_PROBE");
        return {};
    }

private:
    UniqueFile port_;
};

}  // namespace

common::Result<std::unique_ptr<SerialPort>> Win32SerialPorts::open(const std::wstring& devicePath) {
    UniqueFile port(CreateFileW(devicePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    if (!port) return FAILED_CALL(CreateFileW).about(devicePath);
    return std::unique_ptr<SerialPort>(std::make_unique<Win32SerialPort>(std::move(port)));
}

}  // namespace velquin::win32
