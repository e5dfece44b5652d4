#include "system_services.hpp"

#include "driver_contract.hpp"
#include "win32_handles.hpp"

#include <vector>

namespace velquin::win32 {
namespace {

// The right to create services is asked for every operation, so a user
// without administrative rights sees the service as not installed.
ServiceHandle OpenServiceManager() {
    return ServiceHandle(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
}

constexpr DWORD kServiceAccess = DELETE | SERVICE_STOP | SERVICE_START;

bool Reconfigure(SC_HANDLE service, const ServiceSettings& s) {
    return ChangeServiceConfigW(service, s.type, s.startType, s.errorControl, s.imagePath.c_str(),
                                nullptr, nullptr, nullptr, nullptr, nullptr,
                                s.displayName.c_str()) != FALSE;
}

}  // namespace

bool ScmServices::IsInstalled() {
    const ServiceHandle manager = OpenServiceManager();
    if (!manager) return false;
    return static_cast<bool>(
        ServiceHandle(OpenServiceW(manager.get(), kDriverNameW, kServiceAccess)));
}

bool ScmServices::Install(const ServiceSettings& s) {
    const ServiceHandle manager = OpenServiceManager();
    if (!manager) return false;
    // An existing service is changed in place: delete and re-create would fail
    // while its deletion is still pending.
    const ServiceHandle existing(
        OpenServiceW(manager.get(), s.name.c_str(), kServiceAccess | SERVICE_CHANGE_CONFIG));
    if (existing) return Reconfigure(existing.get(), s);
    if (GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST) return false;
    const ServiceHandle created(CreateServiceW(
        manager.get(), s.name.c_str(), s.displayName.c_str(), kServiceAccess, s.type, s.startType,
        s.errorControl, s.imagePath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    return static_cast<bool>(created);
}

bool ScmServices::Delete(const std::wstring& name) {
    const ServiceHandle manager = OpenServiceManager();
    if (!manager) return false;
    const ServiceHandle service(OpenServiceW(manager.get(), name.c_str(), kServiceAccess));
    if (!service) return GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
    SERVICE_STATUS status{};
    ControlService(service.get(), SERVICE_CONTROL_STOP,
                   &status);  // a driver not running cannot stop
    return DeleteService(service.get()) || GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE;
}

std::optional<std::wstring> Win32Files::FullPath(const std::wstring& path) {
    const DWORD required = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (required == 0) return std::nullopt;
    std::vector<wchar_t> buffer(required);
    const DWORD length = GetFullPathNameW(path.c_str(), required, buffer.data(), nullptr);
    if (length == 0 || length >= required) return std::nullopt;
    return std::wstring(buffer.data(), length);
}

bool Win32Files::IsExistingFile(const std::wstring& fullPath) {
    const DWORD attributes = GetFileAttributesW(fullPath.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {

class Win32SerialPort final : public SerialPort {
public:
    explicit Win32SerialPort(FileHandle port) : port_(std::move(port)) {}

    bool ApplyLineSettings(const LineSettings& settings) override {
        DCB dcb{};
        dcb.DCBlength = sizeof(dcb);
        if (!GetCommState(port_.get(), &dcb)) return false;
        dcb.BaudRate = settings.baudRate;
        dcb.ByteSize = settings.byteSize;
        dcb.Parity = settings.parity;
        dcb.StopBits = settings.stopBits;
        return SetCommState(port_.get(), &dcb) != FALSE;
    }

    bool SendProbe() override {
        unsigned char buffer[kProbeBufferSize] = {};
        DWORD returned = 0;
        return DeviceIoControl(port_.get(), IOCTL_FILTER_PROBE, buffer, sizeof(buffer), buffer,
                               sizeof(buffer), &returned, nullptr) != FALSE;
    }

private:
    FileHandle port_;
};

}  // namespace

std::unique_ptr<SerialPort> Win32SerialPorts::Open(const std::wstring& devicePath) {
    FileHandle port(CreateFileW(devicePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    if (!port) return nullptr;
    return std::make_unique<Win32SerialPort>(std::move(port));
}

}  // namespace velquin::win32
