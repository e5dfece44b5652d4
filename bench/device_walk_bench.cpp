// Velquin's device list filled from many COM-port devices, beside a bare
// SetupAPI walk of the same devices that reads what the list needs.
//   bench_devices.exe <Velquin.exe> [devices]
#include <windows.h>

#include <setupapi.h>
#include <winioctl.h>

#include <cstdio>

#include "bench_clock.hpp"
#include "tests/e2e/e2e_support.hpp"
#include "win32/ui/resource_ids.h"

namespace {

using namespace ui_harness;

// Every present COM-port interface: its path, friendly name and description.
int bareWalk() {
    const HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVINTERFACE_COMPORT, nullptr, nullptr,
                                              DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) throw HarnessError("SetupDiGetClassDevsW failed");
    int listed = 0;
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof interfaceData;
    for (DWORD i = 0;
         SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_COMPORT, i, &interfaceData);
         ++i) {
        alignas(SP_DEVICE_INTERFACE_DETAIL_DATA_W) BYTE buffer[1024];
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer);
        detail->cbSize = sizeof *detail;
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!SetupDiGetDeviceInterfaceDetailW(set, &interfaceData, detail, sizeof buffer, nullptr,
                                              &device))
            continue;
        wchar_t name[256], description[256];
        if (SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_FRIENDLYNAME, nullptr,
                                              reinterpret_cast<BYTE*>(name), sizeof name,
                                              nullptr) &&
            SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_DEVICEDESC, nullptr,
                                              reinterpret_cast<BYTE*>(description),
                                              sizeof description, nullptr))
            ++listed;
    }
    SetupDiDestroyDeviceInfoList(set);
    return listed;
}

int listCount(const Window& list) {
    return static_cast<int>(SendMessageW(list.handle(), CB_GETCOUNT, 0, 0));
}

constexpr int rounds = 3;

void makeDevices(int count) {
    const double start = bench::now();
    velquin_e2e::removeAllComPortDevices();
    for (int i = 1; i <= count; ++i) {
        wchar_t id[64], name[64];
        swprintf(id, 64, L"ROOT\\VELQUINBENCH\\%04d", i);
        swprintf(name, 64, L"Bench Serial Port (COM%d)", i + 10);
        velquin_e2e::addFakePort({id, name});
    }
    std::printf("devices made: %d in %.1f s\n", count, bench::now() - start);
}

std::vector<double> timeBareWalks(int count) {
    std::vector<double> runs;
    for (int run = 0; run < rounds; ++run) {
        const double start = bench::now();
        const int listed = bareWalk();
        runs.push_back(bench::now() - start);
        if (listed != count) std::printf("bare walk listed %d devices\n", listed);
    }
    return runs;
}

// At start the dialog fills its list itself; Refresh fills it again, inside
// the click's handler, so a sent click returns when it is done.
std::vector<double> timeVelquinRefreshes(const std::wstring& velquin, int count) {
    double start = bench::now();
    // Windows are looked up only once the dialog waits for input: until then
    // it does not answer messages.
    const auto process = Process::start(velquin);
    WaitForInputIdle(process.handle(), 120000);
    std::printf("Velquin start to full list   %.3f s\n", bench::now() - start);
    const auto dialog = process.waitForWindow({.title = L"Velquin"});
    const auto list = findControl(dialog, {.id = IDC_DEVICES});
    const auto refresh = findControl(dialog, {.id = IDC_REFRESH});
    std::vector<double> runs;
    for (int run = 0; run < rounds; ++run) {
        start = bench::now();
        DWORD_PTR result = 0;
        SendMessageTimeoutW(refresh.handle(), BM_CLICK, 0, 0, SMTO_NORMAL, 120000, &result);
        runs.push_back(bench::now() - start);
        if (listCount(list) != count) std::printf("Velquin listed %d devices\n", listCount(list));
    }
    process.kill();
    return runs;
}

void print(const char* what, const std::vector<double>& runs) {
    std::printf("%-28s median %.3f s  (runs:", what, bench::median(runs));
    for (double run : runs) std::printf(" %.3f", run);
    std::printf(")\n");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_devices.exe VELQUIN [DEVICES]\n");
        return 2;
    }
    const std::wstring velquin = windowsPathFromUnix(argv[1]);
    const int count = argc > 2 ? _wtoi(argv[2]) : 1000;
    try {
        makeDevices(count);
        const auto bare = timeBareWalks(count);
        const auto velquinRuns = timeVelquinRefreshes(velquin, count);
        velquin_e2e::removeAllComPortDevices();
        print("bare SetupAPI walk", bare);
        print("Velquin Refresh", velquinRuns);
        std::printf("ratio Velquin/bare           %.2fx\n",
                    bench::median(velquinRuns) / bench::median(bare));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_devices: %s\n", error.what());
        return 1;
    }
    return 0;
}
