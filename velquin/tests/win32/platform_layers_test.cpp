// The SetupAPI and SCM layers against Wine's real device and service databases.
#include <gtest/gtest.h>

#include "common/win32/unique_any.hpp"
#include "core/driver_contract.hpp"
#include "core/upper_filters.hpp"
#include "win32/file_system.hpp"
#include "win32/serial_ports.hpp"
#include "win32/service_manager.hpp"
#include "win32/setupapi_devices.hpp"

#include <string>

using namespace velquin;
using namespace velquin::win32;
using namespace std::string_literals;
using common::win32::unique_hdevinfo;
using common::win32::unique_hkey;
using common::win32::unique_schandle;

namespace {

constexpr GUID kPortsClass = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
constexpr GUID kComPortInterface = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

void SetText(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property, const std::wstring& text) {
    ASSERT_TRUE(SetupDiSetDeviceRegistryPropertyW(
        set, &device, property, reinterpret_cast<const BYTE*>(text.c_str()),
        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))));
}

// Marks the interface present, as the system does for a started device.
void Link(const std::wstring& devicePath) {
    const std::wstring key =
        L"SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\"
        L"{86e0d1e0-8089-11d0-9ce4-08003e301f73}\\##?#" +
        devicePath.substr(4) + L"\\#\\Control";
    unique_hkey control;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, control.put(), nullptr),
              ERROR_SUCCESS);
    const DWORD linked = 1;
    RegSetValueExW(control.get(), L"Linked", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&linked),
                   sizeof(linked));
}

// A fake COM port device; present ones get their interface linked.
void MakePort(const std::wstring& friendlyName, bool present,
              const std::string* upperFilters = nullptr) {
    unique_hdevinfo set(SetupDiCreateDeviceInfoList(&kPortsClass, nullptr));
    ASSERT_TRUE(set);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    ASSERT_TRUE(SetupDiCreateDeviceInfoW(set.get(), L"PORTS", &kPortsClass, nullptr, nullptr,
                                         DICD_GENERATE_ID, &device));
    ASSERT_TRUE(SetupDiRegisterDeviceInfo(set.get(), &device, 0, nullptr, nullptr, nullptr));
    SetText(set.get(), device, SPDRP_FRIENDLYNAME, friendlyName);
    SetText(set.get(), device, SPDRP_DEVICEDESC, L"Communications Port");
    if (upperFilters) {
        ASSERT_TRUE(
            SetupDiSetDeviceRegistryPropertyA(set.get(), &device, SPDRP_UPPERFILTERS,
                                              reinterpret_cast<const BYTE*>(upperFilters->data()),
                                              static_cast<DWORD>(upperFilters->size())));
    }
    SP_DEVICE_INTERFACE_DATA iface{};
    iface.cbSize = sizeof(iface);
    ASSERT_TRUE(
        SetupDiCreateDeviceInterfaceW(set.get(), &device, &kComPortInterface, nullptr, 0, &iface));
    if (!present) return;
    wchar_t buffer[1024] = {};
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer);
    detail->cbSize = sizeof(*detail);
    ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailW(set.get(), &iface, detail, sizeof(buffer), nullptr,
                                                 nullptr));
    Link(detail->DevicePath);
}

struct Seen {
    std::wstring friendlyName;
    std::wstring path;
    bool read = false;
    std::string filters;
};

std::vector<Seen> Walk(DeviceScope scope) {
    SetupApiDevices devices;
    common::Failure failure;
    auto walk = devices.OpenComPorts(scope, failure);
    EXPECT_TRUE(walk);
    std::vector<Seen> seen;
    if (!walk) return seen;
    WalkStep step;
    while ((step = walk->Next()) == WalkStep::Device) {
        std::vector<unsigned char> value(99, 'x');
        const bool read = static_cast<bool>(walk->ReadUpperFilters(value));
        seen.push_back({walk->FriendlyName().value_or(L"?"), walk->DevicePath(), read,
                        std::string(value.begin(), value.end())});
    }
    EXPECT_EQ(step, WalkStep::End);
    return seen;
}

const Seen* Find(const std::vector<Seen>& seen, const std::wstring& name) {
    for (const Seen& s : seen) {
        if (s.friendlyName == name) return &s;
    }
    return nullptr;
}

}  // namespace

TEST(SetupApiDevices, WalksPresentAndInstalledPortsAndTheirFilters) {
    const std::string oversized = std::string(600, 'a') + "\0\0"s;
    const std::string other = "serenum\0\0"s;
    MakePort(L"Plain Port (COM3)", true);
    MakePort(L"Filtered Port (COM4)", true, &other);
    MakePort(L"Huge Port (COM5)", true, &oversized);
    MakePort(L"Unplugged Port (COM6)", false, &other);

    const auto present = Walk(DeviceScope::PresentOnly);
    EXPECT_FALSE(Find(present, L"Unplugged Port (COM6)"));
    const Seen* plain = Find(present, L"Plain Port (COM3)");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->path.substr(0, 4), L"\\\\?\\");
    EXPECT_TRUE(plain->read);
    EXPECT_EQ(plain->filters, "");
    ASSERT_TRUE(Find(present, L"Filtered Port (COM4)"));
    EXPECT_EQ(Find(present, L"Filtered Port (COM4)")->filters, other);
    ASSERT_TRUE(Find(present, L"Huge Port (COM5)"));
    EXPECT_EQ(Find(present, L"Huge Port (COM5)")->filters, oversized) << "not read whole";

    EXPECT_TRUE(Find(Walk(DeviceScope::AllInstalled), L"Unplugged Port (COM6)"));
}

TEST(SetupApiDevices, ConfigureAndRemoveRoundTrip) {
    const std::string other = "serenum\0\0"s;
    MakePort(L"Round Trip (COM7)", true);
    MakePort(L"Unplugged Carrier (COM8)", false, &other);

    SetupApiDevices devices;
    Win32SerialPorts ports;
    NoStatusLine status;
    const std::wstring noPort;
    FilterContext context{devices, ports, status, noPort};
    ASSERT_TRUE(ConfigureDevice(context, L"Round Trip (COM7)"));
    EXPECT_EQ(Find(Walk(DeviceScope::PresentOnly), L"Round Trip (COM7)")->filters,
              "kelPortHi\0\0"s);
    EXPECT_FALSE(ConfigureDevice(context, L"Unplugged Carrier (COM8)"));

    ASSERT_TRUE(RemoveFilterFromDevices(context));
    const auto all = Walk(DeviceScope::AllInstalled);
    EXPECT_EQ(Find(all, L"Round Trip (COM7)")->filters, "\0\0"s);
    EXPECT_EQ(Find(all, L"Unplugged Carrier (COM8)")->filters, other);
}

namespace {

struct StoredService {
    std::wstring imagePath;
    DWORD type = 0;
    DWORD start = 0;
};

StoredService Stored() {
    unique_schandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    unique_schandle service(OpenServiceW(manager.get(), kDriverNameW, SERVICE_QUERY_CONFIG));
    alignas(QUERY_SERVICE_CONFIGW) unsigned char buffer[8192] = {};
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer);
    DWORD needed = 0;
    if (!QueryServiceConfigW(service.get(), config, sizeof(buffer), &needed)) return {L"<none>"};
    return {config->lpBinaryPathName, config->dwServiceType, config->dwStartType};
}

}  // namespace

TEST(ScmServices, InstallReconfigureAndDelete) {
    ScmServices services;
    ASSERT_TRUE(services.Delete(kDriverNameW));  // absent is already done
    const auto absent = services.IsInstalled();
    ASSERT_FALSE(absent);
    EXPECT_EQ(absent.failure().code, static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));

    ASSERT_TRUE(services.Install(DriverServiceSettings(L"C:\\drivers\\first.sys")));
    EXPECT_TRUE(services.IsInstalled());
    EXPECT_EQ(Stored().imagePath, L"C:\\drivers\\first.sys");
    EXPECT_EQ(Stored().type, static_cast<DWORD>(SERVICE_KERNEL_DRIVER));
    EXPECT_EQ(Stored().start, static_cast<DWORD>(SERVICE_DEMAND_START));

    ASSERT_TRUE(services.Install(DriverServiceSettings(L"C:\\drivers\\second.sys")));
    EXPECT_EQ(Stored().imagePath, L"C:\\drivers\\second.sys");
    EXPECT_EQ(Stored().start, static_cast<DWORD>(SERVICE_DEMAND_START));

    EXPECT_TRUE(services.Delete(kDriverNameW));
    EXPECT_FALSE(services.IsInstalled());
}

TEST(Win32Files, FullPathAndExistence) {
    Win32Files files;
    wchar_t directory[MAX_PATH] = {};
    GetSystemDirectoryW(directory, MAX_PATH);
    ASSERT_TRUE(SetCurrentDirectoryW(directory));
    const auto full = files.FullPath(L"kernel32.dll");
    ASSERT_TRUE(full);
    EXPECT_EQ(*full, std::wstring(directory) + L"\\kernel32.dll");
    EXPECT_TRUE(files.IsExistingFile(*full));
    EXPECT_FALSE(files.IsExistingFile(directory));
    EXPECT_FALSE(files.IsExistingFile(std::wstring(directory) + L"\\no-such-file.sys"));
}
