#include "tests/e2e/e2e_support.hpp"

#include "common/win32/unique_any.hpp"

#include <setupapi.h>

#include <chrono>
#include <utility>

namespace velquin_e2e {
namespace {

using common::win32::unique_hdevinfo;
using common::win32::unique_hfile;
using common::win32::unique_schandle;
using ui_harness::HarnessError;
using ui_harness::Millis;
using ui_harness::RegKey;

const GUID kPortsClass = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const GUID kComPortInterface = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
const wchar_t kComPortInterfaceKey[] =
    L"System\\CurrentControlSet\\Control\\DeviceClasses\\{86e0d1e0-8089-11d0-9ce4-08003e301f73}";
const wchar_t kFilterServiceKey[] = L"System\\CurrentControlSet\\Services\\kelPortHi";
const wchar_t kFilterService[] = L"kelPortHi";
const wchar_t kProbeService[] = L"velquinProbePort";
const wchar_t kServiceMarker[] = L"VelquinTestMarker";

// Throws, naming the call and its error, when a call the test relies on fails.
void check(bool succeeded, const char* call) {
    if (!succeeded)
        throw HarnessError(std::string(call) + " failed, error " +
                           std::to_string(::GetLastError()));
}

unique_hdevinfo deviceSet(HDEVINFO set) {
    check(set != INVALID_HANDLE_VALUE, "SetupDi device set");
    return unique_hdevinfo(set);
}

unique_schandle openServiceManager() {
    unique_schandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    check(manager.is_valid(), "OpenSCManagerW");
    return manager;
}

void setDeviceText(const unique_hdevinfo& set, SP_DEVINFO_DATA& device, DWORD property,
                   const std::wstring& text) {
    const auto size = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    check(::SetupDiSetDeviceRegistryPropertyW(set.get(), &device, property,
                                              reinterpret_cast<const BYTE*>(text.c_str()), size),
          "SetupDiSetDeviceRegistryPropertyW");
}

std::wstring interfaceDetailPath(const unique_hdevinfo& set,
                                 SP_DEVICE_INTERFACE_DATA& interfaceData) {
    alignas(SP_DEVICE_INTERFACE_DETAIL_DATA_W) BYTE buffer[4096] = {};
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer);
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    check(::SetupDiGetDeviceInterfaceDetailW(set.get(), &interfaceData, detail, sizeof buffer,
                                             nullptr, nullptr),
          "SetupDiGetDeviceInterfaceDetailW");
    return detail->DevicePath;
}

// Presence is what DIGCF_PRESENT reads: Linked = 1 under <interface>\#<reference>\Control.
void markInterfacePresent(const std::wstring& interfacePath) {
    const std::wstring unprefixed = interfacePath.substr(4);  // drop \\?\ .
    const auto referenceStart = unprefixed.find(L'\\');
    const std::wstring interfaceKey = L"##?#" + unprefixed.substr(0, referenceStart);
    const std::wstring referenceKey =
        L"#" + (referenceStart == std::wstring::npos ? std::wstring()
                                                     : unprefixed.substr(referenceStart + 1));
    const auto control =
        RegKey::create(HKEY_LOCAL_MACHINE, std::wstring(kComPortInterfaceKey) + L"\\" +
                                               interfaceKey + L"\\" + referenceKey + L"\\Control");
    const DWORD linked = 1;
    control.setRaw(L"Linked", REG_DWORD,
                   std::string(reinterpret_cast<const char*>(&linked), sizeof linked));
}

SP_DEVINFO_DATA openDevice(const unique_hdevinfo& set, const std::wstring& instanceId) {
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    check(::SetupDiOpenDeviceInfoW(set.get(), instanceId.c_str(), nullptr, 0, &device),
          "SetupDiOpenDeviceInfoW");
    return device;
}

DWORD readDword(const RegKey& key, const wchar_t* name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (::RegQueryValueExW(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                           &size) != ERROR_SUCCESS)
        throw HarnessError(std::wstring(L"service value missing: ") + name);
    return value;
}

// A 32-bit caller's services are run by the 32-bit device host, which cannot
// load the x86_64 test driver; the native sc.exe registers it as a 64-bit one.
std::wstring nativeServiceTool() {
    BOOL wow64 = FALSE;
    ::IsWow64Process(::GetCurrentProcess(), &wow64);
    return wow64 ? L"C:\\windows\\sysnative\\sc.exe" : L"C:\\windows\\system32\\sc.exe";
}

bool portOpens(int portNumber) {
    const std::wstring path = L"\\\\.\\COM" + std::to_wstring(portNumber);
    const unique_hfile port(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr));
    return port.is_valid();
}

}  // namespace

std::wstring addFakePort(const FakePort& port) {
    const auto set = deviceSet(::SetupDiCreateDeviceInfoList(&kPortsClass, nullptr));
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    check(::SetupDiCreateDeviceInfoW(set.get(), port.instanceId.c_str(), &kPortsClass, nullptr,
                                     nullptr, 0, &device),
          "SetupDiCreateDeviceInfoW");
    check(::SetupDiRegisterDeviceInfo(set.get(), &device, 0, nullptr, nullptr, nullptr),
          "SetupDiRegisterDeviceInfo");
    setDeviceText(set, device, SPDRP_FRIENDLYNAME, port.friendlyName);
    setDeviceText(set, device, SPDRP_DEVICEDESC, L"Communications Port");

    SP_DEVICE_INTERFACE_DATA interfaceData = {};
    interfaceData.cbSize = sizeof interfaceData;
    const wchar_t* reference =
        port.referenceString.empty() ? nullptr : port.referenceString.c_str();
    check(::SetupDiCreateDeviceInterfaceW(set.get(), &device, &kComPortInterface, reference, 0,
                                          &interfaceData),
          "SetupDiCreateDeviceInterfaceW");
    const std::wstring path = interfaceDetailPath(set, interfaceData);
    if (port.present) markInterfacePresent(path);
    return path;
}

void removeAllComPortDevices() {
    const auto set = deviceSet(
        ::SetupDiGetClassDevsW(&kComPortInterface, nullptr, nullptr, DIGCF_DEVICEINTERFACE));
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set.get(), index, &device); ++index)
        check(::SetupDiRemoveDevice(set.get(), &device), "SetupDiRemoveDevice");
    RegKey::deleteTree(HKEY_LOCAL_MACHINE, kComPortInterfaceKey);
}

std::optional<std::string> readUpperFilters(const std::wstring& instanceId) {
    const auto set = deviceSet(::SetupDiCreateDeviceInfoList(nullptr, nullptr));
    SP_DEVINFO_DATA device = openDevice(set, instanceId);
    BYTE buffer[2048] = {};
    DWORD size = 0;
    if (!::SetupDiGetDeviceRegistryPropertyA(set.get(), &device, SPDRP_UPPERFILTERS, nullptr,
                                             buffer, sizeof buffer, &size)) {
        if (::GetLastError() == ERROR_INVALID_DATA) return std::nullopt;  // no such value
        check(false, "SetupDiGetDeviceRegistryPropertyA");
    }
    return std::string(reinterpret_cast<const char*>(buffer), size);
}

void writeUpperFilters(const std::wstring& instanceId, const std::string& bytes) {
    const auto set = deviceSet(::SetupDiCreateDeviceInfoList(nullptr, nullptr));
    SP_DEVINFO_DATA device = openDevice(set, instanceId);
    check(::SetupDiSetDeviceRegistryPropertyA(set.get(), &device, SPDRP_UPPERFILTERS,
                                              reinterpret_cast<const BYTE*>(bytes.data()),
                                              static_cast<DWORD>(bytes.size())),
          "SetupDiSetDeviceRegistryPropertyA");
}

bool filterServiceExists() {
    const auto manager = openServiceManager();
    const unique_schandle service(
        ::OpenServiceW(manager.get(), kFilterService, SERVICE_QUERY_CONFIG));
    return static_cast<bool>(service);
}

std::optional<ServiceSettings> readFilterServiceSettings() {
    if (!filterServiceExists()) return std::nullopt;
    const auto key = RegKey::open(HKEY_LOCAL_MACHINE, kFilterServiceKey);
    if (!key) throw HarnessError("service kelPortHi has no registry key");
    return ServiceSettings{.type = readDword(*key, L"Type"),
                           .start = readDword(*key, L"Start"),
                           .errorControl = readDword(*key, L"ErrorControl"),
                           .imagePath = key->readString(L"ImagePath").value_or(L""),
                           .displayName = key->readString(L"DisplayName").value_or(L"")};
}

void registerFilterService(const std::wstring& imagePath) {
    const auto manager = openServiceManager();
    const unique_schandle service(::CreateServiceW(
        manager.get(), kFilterService, L"KelPortHi filter driver", SERVICE_ALL_ACCESS,
        SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, imagePath.c_str(),
        nullptr, nullptr, nullptr, nullptr, nullptr));
    check(service.is_valid(), "CreateServiceW");
}

void deleteFilterService() {
    {
        const auto manager = openServiceManager();
        const unique_schandle service(::OpenServiceW(manager.get(), kFilterService, DELETE));
        if (!service) return;
        check(::DeleteService(service.get()), "DeleteService");
    }
    // The deletion completes once the last handle is closed.
    if (!ui_harness::waitUntil([] { return !filterServiceExists(); }))
        throw HarnessError("service kelPortHi stays after deletion");
}

void markFilterService() {
    const auto key = RegKey::open(HKEY_LOCAL_MACHINE, kFilterServiceKey, KEY_SET_VALUE);
    if (!key) throw HarnessError("service kelPortHi has no registry key");
    key->setString(kServiceMarker, L"kept");
}

bool filterServiceIsMarked() {
    const auto key = RegKey::open(HKEY_LOCAL_MACHINE, kFilterServiceKey);
    return key && key->readString(kServiceMarker) == L"kept";
}

std::wstring velquinPath() { return ui_harness::pathFromEnvironment(L"VELQUIN_EXE"); }

CommandOutcome runVelquin(const std::vector<std::wstring>& arguments,
                          const std::wstring& workingDirectory) {
    const auto process = ui_harness::Process::start(
        velquinPath(), {.arguments = arguments, .workingDirectory = workingDirectory});
    CommandOutcome outcome;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        outcome.showedWindow =
            outcome.showedWindow || !ui_harness::topLevelWindows(process.id()).empty();
        outcome.exitCode = process.waitForExit(Millis(20));
        if (outcome.exitCode) return outcome;
    }
    process.kill();
    return outcome;
}

void loadProbePortDriver() {
    if (portOpens(kProbePortNumber)) return;  // loaded by an earlier test
    const std::wstring driver = ui_harness::pathFromEnvironment(L"VELQUIN_PROBE_DRIVER");
    const auto sc = [](std::vector<std::wstring> arguments) {
        const auto tool = ui_harness::Process::start(nativeServiceTool(), {.arguments = arguments});
        return tool.waitForExit(Millis(60000));
    };
    const auto created = sc(
        {L"create", kProbeService, L"type=", L"kernel", L"start=", L"demand", L"binPath=", driver});
    if (created != DWORD{0}) throw HarnessError("sc create failed");
    // Right after the prefix starts, the service manager can refuse (1053, 1055) for a while.
    for (int attempt = 0; attempt < 20; ++attempt) {
        sc({L"start", kProbeService});
        if (portOpens(kProbePortNumber)) return;
        ::Sleep(500);
    }
    throw HarnessError("the probe port driver did not load");
}

std::wstring makeDummyDriverFile(const ui_harness::TempFolder& folder, const std::wstring& name) {
    const std::wstring path = folder / name;
    ui_harness::writeFile(path, "MZ not a driver");
    return path;
}

}  // namespace velquin_e2e
