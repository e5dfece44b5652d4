#include <gtest/gtest.h>

#include "core/device_discovery.hpp"
#include "core/driver_service.hpp"
#include "core/upper_filters.hpp"
#include "tests/unit/fakes.hpp"

using namespace velquin;
using namespace velquin::fakes;

namespace {

class FilterDriverTest : public testing::Test {
protected:
    FakeDevices devices;
    FakePorts ports;
    StatusSpy status;
    FakeServices services;
    FakeFiles files;
    std::wstring configuredPort;
    FilterContext context{devices, ports, status, configuredPort};

    void filterLoadedOn(const std::wstring& port) {
        configuredPort = port;
        ports.ports[L"\\\\.\\" + port] = {true, true};
    }
};

}  // namespace

TEST_F(FilterDriverTest, ConfigureWritesTheFirstMatchingPresentDeviceOnce) {
    devices.add(L"Port (COM3)", "serenum\0\0"s).present = false;
    devices.add(L"Port (COM4)");
    auto& target = devices.add(L"Port (COM3)", "serenum\0\0"s);
    auto& twin = devices.add(L"Port (COM3)");

    EXPECT_TRUE(ConfigureDevice(context, L"Port (COM3)"));
    EXPECT_EQ(target.upperFilters, "kelPortHi\0serenum\0\0"s);
    EXPECT_EQ(status.last(), L"Driver installed for the device");
    EXPECT_TRUE(ConfigureDevice(context, L"Port (COM3)"));
    EXPECT_EQ(status.last(), L"Driver already installed for the device");
    EXPECT_EQ(target.writes, 1);
    EXPECT_EQ(twin.writes + devices.devices[0].writes + devices.devices[1].writes, 0);
}

TEST_F(FilterDriverTest, ConfigureFailuresWriteNothingAndSaySo) {
    devices.add(L"Full (COM1)", std::string(500, 'a') + "\0\0"s);
    devices.add(L"Huge (COM2)", std::string(600, 'a') + "\0\0"s);
    devices.add(L"Broken (COM5)").writeFails = true;
    devices.add(L"Binary (COM6)", "\x01\0\0\0"s).type = 3;  // REG_BINARY: no list to Plug and Play
    const std::pair<const wchar_t*, const wchar_t*> refusals[] = {
        {L"Binary (COM6)", L"The device's filter list could not be read"},
        {L"Full (COM1)", L"The device's filter list is too long"},
        {L"Huge (COM2)", L"The device's filter list is too long"},
        {L"Broken (COM5)", L"Error in installing Driver "},
        {L"port (com1)", L"The selected device is no longer present"},
    };
    for (const auto& [device, text] : refusals) {
        EXPECT_FALSE(ConfigureDevice(context, device));
        EXPECT_EQ(status.last(), text);
    }
    EXPECT_EQ(devices.devices[0].writes + devices.devices[1].writes + devices.devices[3].writes, 0);

    devices.failWalkAtIndex = 2;
    EXPECT_FALSE(ConfigureDevice(context, L"Broken (COM5)"));
    EXPECT_EQ(status.last(), L"SetupDiEnumDeviceInterfaces failed. (err=3e6)");

    devices.setFails = true;
    EXPECT_FALSE(ConfigureDevice(context, L"Full (COM1)"));
    EXPECT_EQ(status.last(), L"The device list could not be read");
}

// Lists of any length are read whole: a long one naming the filter is
// cleaned, one that does not is left alone, and neither blocks the removal.
// The device is unplugged: the removal reaches every installed device.
TEST_F(FilterDriverTest, RemoveHandlesListsOfAnyLength) {
    // '*' stands for the entry that makes up the length.
    const std::pair<std::string, std::string> cases[] = {
        {"*\0\0"s, "*\0\0"s},
        {"kelPortHi\0*\0\0"s, "*\0\0"s},
        {"serenum\0kelPortHi\0*\0\0"s, "serenum\0*\0\0"s},
        {"serenum\0*\0kelPortHi\0\0"s, "serenum\0*\0\0"s},
        {"kelPortHi\0serenum\0*\0kelPortHi\0\0"s, "serenum\0*\0\0"s},
    };
    for (const std::size_t length : {511u, 512u, 600u, 4000u}) {
        for (auto [before, after] : cases) {
            SCOPED_TRACE(std::to_string(length) + " bytes, " + testing::PrintToString(before));
            const std::string filler(length + 1 - before.size(), 'f');
            before.replace(before.find('*'), 1, filler);
            after.replace(after.find('*'), 1, filler);
            devices.devices.clear();
            auto& device = devices.add(L"A (COM1)", before);
            device.present = false;
            EXPECT_TRUE(RemoveFilterFromDevices(context));
            EXPECT_EQ(device.upperFilters, after);
            EXPECT_EQ(device.writes, before == after ? 0 : 1);
            EXPECT_EQ(status.last(), L"Successfully Removed Driver");
        }
    }
}

TEST_F(FilterDriverTest, RemoveFailsWhenAnyDeviceMayKeepTheFilter) {
    auto& broken = devices.add(L"A (COM1)", "kelPortHi\0\0"s);
    broken.writeFails = true;
    auto& later = devices.add(L"B (COM2)", "kelPortHi\0\0"s);
    EXPECT_FALSE(RemoveFilterFromDevices(context));
    EXPECT_EQ(later.upperFilters, "\0\0"s);  // the pass goes on after a failure
    EXPECT_EQ(status.last(), L"Error in removing Driver ");

    broken.writeFails = false;
    broken.readFails = true;
    EXPECT_FALSE(RemoveFilterFromDevices(context));

    broken.readFails = false;
    broken.type = 3;  // REG_BINARY is left alone; REG_SZ is a list like REG_MULTI_SZ
    EXPECT_FALSE(RemoveFilterFromDevices(context));
    EXPECT_EQ(broken.writes, 1);  // the failed write of the first pass
    broken.type = 1;
    EXPECT_TRUE(RemoveFilterFromDevices(context));

    devices.failWalkAtIndex = 1;
    EXPECT_FALSE(RemoveFilterFromDevices(context));

    devices.setFails = true;
    EXPECT_FALSE(RemoveFilterFromDevices(context));
}

// The removal, and so the unregistering, is refused while the configured port answers the probe.
TEST_F(FilterDriverTest, UnregisterDeletesTheServiceOnlyAfterRemoval) {
    services.installed = driverServiceSettings(L"C:\\d\\k.sys");
    auto& device = devices.add(L"A (COM3)", "kelPortHi\0\0"s);
    filterLoadedOn(L"COM3");
    EXPECT_FALSE(UnregisterDriver(services, context));
    EXPECT_EQ(ports.opened, std::vector<std::wstring>{L"\\\\.\\COM3"});
    EXPECT_EQ(status.last(), L"Try Again After Unplugging the Device");
    EXPECT_EQ(device.writes + services.deletes, 0);

    ports.ports.clear();
    EXPECT_TRUE(UnregisterDriver(services, context));
    EXPECT_FALSE(services.installed);

    services.deleteFails = true;
    EXPECT_FALSE(UnregisterDriver(services, context));
    EXPECT_EQ(status.last(), L"Error in removing Driver ");
}

TEST_F(FilterDriverTest, RegisterStoresTheAbsolutePathOfAnExistingFileOnly) {
    EXPECT_FALSE(RegisterDriver(services, files, L"kel.sys"));
    EXPECT_FALSE(services.installed);

    files.files = {L"C:\\work\\kel.sys"};
    EXPECT_TRUE(RegisterDriver(services, files, L"kel.sys"));
    ASSERT_TRUE(services.installed);
    EXPECT_EQ(services.installed->imagePath, L"C:\\work\\kel.sys");

    services.installFails = true;
    EXPECT_FALSE(RegisterDriver(services, files, L"kel.sys"));
}

TEST_F(FilterDriverTest, PortTestOutcomes) {
    EXPECT_FALSE(TestPort(ports, status, L""));
    EXPECT_EQ(status.last(), L"CreateFile on port  failed");
    EXPECT_FALSE(TestPort(ports, status, L"COM7"));
    EXPECT_EQ(status.last(), L"CreateFile on port COM7 failed");

    status.texts.clear();
    ports.ports[L"\\\\.\\COM8"] = {false, true};
    EXPECT_FALSE(TestPort(ports, status, L"COM8"));
    EXPECT_EQ(ports.probes, 0);
    ports.ports[L"\\\\.\\COM9"] = {true, false};
    EXPECT_FALSE(TestPort(ports, status, L"COM9"));
    filterLoadedOn(L"COM10");
    EXPECT_TRUE(TestPort(ports, status, L"COM10"));
    EXPECT_TRUE(status.texts.empty());
}

TEST_F(FilterDriverTest, DiscoveryListsPresentNamedDevicesInOrderOrFailsWithTheCall) {
    devices.add(L"Z (COM2)");
    devices.add(L"Gone (COM9)").present = false;
    devices.add(L"");
    devices.add(L"NoDesc (COM5)").description = std::nullopt;
    devices.add(L"A (COM1)");
    const auto found = EnumerateSerialDevices(devices);
    ASSERT_TRUE(found);
    ASSERT_EQ(found->size(), 2u);
    EXPECT_EQ(found->front().friendlyName, L"Z (COM2)");
    EXPECT_EQ(found->back().friendlyName, L"A (COM1)");
    EXPECT_EQ(found->back().description, L"Serial port");

    devices.failWalkAtIndex = 1;
    const auto cut = EnumerateSerialDevices(devices);
    ASSERT_FALSE(cut);
    EXPECT_EQ(walkErrorText(cut.failure()), L"SetupDiEnumDeviceInterfaces failed. (err=3e6)");
    devices.setFails = true;
    const auto noSet = EnumerateSerialDevices(devices);
    ASSERT_FALSE(noSet);
    EXPECT_EQ(walkErrorText(noSet.failure()), L"SetupDiGetClassDevs failed. (err=5)");
}
