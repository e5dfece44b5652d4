#include "tests/e2e/e2e_support.hpp"

#include "common/win32/unique_any.hpp"

#include <devguid.h>
#include <setupapi.h>
#include <winioctl.h>

#include <chrono>

namespace velquin_e2e {
namespace {

using common::win32::UniqueDeviceInfoSet;
using common::win32::UniqueServiceHandle;
using ui_harness::HarnessError;
using ui_harness::Millis;
using ui_harness::RegKey;
using namespace std::string_literals;

const wchar_t comPortInterfaceKey[] =
    L"System\\CurrentControlSet\\Control\\DeviceClasses\\{86e0d1e0-8089-11d0-9ce4-08003e301f73}";
const wchar_t filterServiceKey[] = L"System\\CurrentControlSet\\Services\\kelPortHi";
const wchar_t filterService[] = L"kelPortHi";
const wchar_t probeService[] = L"velquinProbePort";

// Throws, naming the call and its error, when a call the test relies on fails.
void check(bool succeeded, const char* call) {
    if (!succeeded)
        throw HarnessError(std::string(call) + " failed, error " +
                           std::to_string(::GetLastError()));
}

UniqueDeviceInfoSet deviceSet(HDEVINFO set) {
    check(set != INVALID_HANDLE_VALUE, "SetupDi device set");
    return UniqueDeviceInfoSet(set);
}

UniqueServiceHandle openServiceManager() {
    UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    check(manager.isValid(), "OpenSCManagerW");
    return manager;
}

SP_DEVINFO_DATA openDevice(const UniqueDeviceInfoSet& set, const std::wstring& instanceId) {
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    check(::SetupDiOpenDeviceInfoW(set.get(), instanceId.c_str(), nullptr, 0, &device),
          "SetupDiOpenDeviceInfoW");
    return device;
}

bool portOpens(int portNumber) {
    const std::wstring path = L"\\\\.\\COM" + std::to_wstring(portNumber);
    return common::win32::UniqueFile(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                                   nullptr, OPEN_EXISTING, 0, nullptr))
        .isValid();
}

}  // namespace

std::wstring addFakePort(const FakePort& port) {
    const auto set = deviceSet(::SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_PORTS, nullptr));
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    check(::SetupDiCreateDeviceInfoW(set.get(), port.instanceId.c_str(), &GUID_DEVCLASS_PORTS,
                                     nullptr, nullptr, 0, &device),
          "SetupDiCreateDeviceInfoW");
    check(::SetupDiRegisterDeviceInfo(set.get(), &device, 0, nullptr, nullptr, nullptr),
          "SetupDiRegisterDeviceInfo");
    for (const auto& [property, text] : {std::pair{SPDRP_FRIENDLYNAME, port.friendlyName},
                                         std::pair{SPDRP_DEVICEDESC, L"Communications Port"s}})
        check(::SetupDiSetDeviceRegistryPropertyW(
                  set.get(), &device, property, reinterpret_cast<const BYTE*>(text.c_str()),
                  static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
              "SetupDiSetDeviceRegistryPropertyW");

    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof interfaceData;
    check(::SetupDiCreateDeviceInterfaceW(
              set.get(), &device, &GUID_DEVINTERFACE_COMPORT,
              port.referenceString.empty() ? nullptr : port.referenceString.c_str(), 0,
              &interfaceData),
          "SetupDiCreateDeviceInterfaceW");
    alignas(SP_DEVICE_INTERFACE_DETAIL_DATA_W) BYTE buffer[4096] = {};
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer);
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    check(::SetupDiGetDeviceInterfaceDetailW(set.get(), &interfaceData, detail, sizeof buffer,
                                             nullptr, nullptr),
          "SetupDiGetDeviceInterfaceDetailW");
    const std::wstring path = detail->DevicePath;
    if (port.present) {
        // What DIGCF_PRESENT reads: Linked = 1 under <interface>\#<reference>\Control,
        // <interface> being the path's first part with \\?\ as ##?#.
        const std::wstring unprefixed = path.substr(4);
        const auto split = unprefixed.find(L'\\');
        const std::wstring reference = split == path.npos ? L"" : unprefixed.substr(split + 1);
        const DWORD linked = 1;
        RegKey::create(HKEY_LOCAL_MACHINE, std::wstring(comPortInterfaceKey) + L"\\##?#" +
                                               unprefixed.substr(0, split) + L"\\#" + reference +
                                               L"\\Control")
            .setRaw(L"Linked", REG_DWORD, std::string(reinterpret_cast<const char*>(&linked), 4));
    }
    return path;
}

void removeAllComPortDevices() {
    const auto set = deviceSet(::SetupDiGetClassDevsW(&GUID_DEVINTERFACE_COMPORT, nullptr, nullptr,
                                                      DIGCF_DEVICEINTERFACE));
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set.get(), index, &device); ++index)
        check(::SetupDiRemoveDevice(set.get(), &device), "SetupDiRemoveDevice");
    RegKey::deleteTree(HKEY_LOCAL_MACHINE, comPortInterfaceKey);
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
    return UniqueServiceHandle(
               ::OpenServiceW(openServiceManager().get(), filterService, SERVICE_QUERY_CONFIG))
        .isValid();
}

std::optional<ServiceSettings> readFilterServiceSettings() {
    if (!filterServiceExists()) return std::nullopt;
    const auto key = RegKey::open(HKEY_LOCAL_MACHINE, filterServiceKey);
    if (!key) throw HarnessError("service kelPortHi has no registry key");
    const auto values = key->values();
    const auto number = [&](const wchar_t* name) {
        DWORD value = 0;
        values.at(name).bytes.copy(reinterpret_cast<char*>(&value), sizeof value);
        return value;
    };
    return ServiceSettings{number(L"Type"), number(L"Start"), number(L"ErrorControl"),
                           key->readString(L"ImagePath").value_or(L""),
                           key->readString(L"DisplayName").value_or(L"")};
}

void registerFilterService(const std::wstring& imagePath) {
    const UniqueServiceHandle service(::CreateServiceW(
        openServiceManager().get(), filterService, L"KelPortHi filter driver", SERVICE_ALL_ACCESS,
        SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, imagePath.c_str(),
        nullptr, nullptr, nullptr, nullptr, nullptr));
    check(service.isValid(), "CreateServiceW");
}

void deleteFilterService() {
    {
        const UniqueServiceHandle service(
            ::OpenServiceW(openServiceManager().get(), filterService, DELETE));
        if (!service) return;
        check(::DeleteService(service.get()), "DeleteService");
    }
    // The deletion completes once the last handle is closed.
    if (!ui_harness::waitUntil([] { return !filterServiceExists(); }))
        throw HarnessError("service kelPortHi stays after deletion");
}

std::wstring velquinPath() { return ui_harness::pathFromEnvironment(L"VELQUIN_EXE"); }

CommandOutcome runVelquin(const std::vector<std::wstring>& arguments,
                          const std::wstring& workingDirectory) {
    const auto process = ui_harness::Process::start(
        velquinPath(), {.arguments = arguments, .workingDirectory = workingDirectory});
    CommandOutcome outcome;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!outcome.exitCode && std::chrono::steady_clock::now() < deadline) {
        outcome.showedWindow =
            outcome.showedWindow || !ui_harness::topLevelWindows(process.id()).empty();
        outcome.exitCode = process.waitForExit(Millis(20));
    }
    return outcome;  // killed if still running
}

void loadProbePortDriver() {
    if (portOpens(probePortNumber)) return;  // loaded by an earlier test
    // A 32-bit caller's services are run by the 32-bit device host, which cannot
    // load the x86_64 test driver; the native sc.exe registers it as a 64-bit one.
    BOOL wow64 = FALSE;
    ::IsWow64Process(::GetCurrentProcess(), &wow64);
    const auto sc = [&](std::vector<std::wstring> arguments) {
        return ui_harness::Process::start(
                   wow64 ? L"C:\\windows\\sysnative\\sc.exe" : L"C:\\windows\\system32\\sc.exe",
                   {.arguments = arguments})
            .waitForExit(Millis(60000));
    };
    const std::wstring driver = ui_harness::pathFromEnvironment(L"VELQUIN_PROBE_DRIVER");
    if (sc({L"create", probeService, L"type=", L"kernel", L"start=", L"demand", L"binPath=",
            driver}) != DWORD{0})
        throw HarnessError("sc create failed");
    // Right after the prefix starts, the service manager can refuse (1053, 1055) for a while.
    for (int attempt = 0; attempt < 20; ++attempt) {
        sc({L"start", probeService});
        if (portOpens(probePortNumber)) return;
        ::Sleep(500);
    }
    throw HarnessError("the probe port driver did not load");
}

}  // namespace velquin_e2e
