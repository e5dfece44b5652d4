// Makes the devices, ports and services Velquin.exe works on, in the tests'
// own Wine prefix, and reads back what it changed.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "ui_harness.hpp"

namespace velquin_e2e {

struct FakePort {
    std::wstring instanceId;  // e.g. ROOT\VELQUINTEST\0001
    std::wstring friendlyName;
    bool present = true;                // whether DIGCF_PRESENT lists its interface
    std::wstring referenceString = {};  // lengthens the interface path when set
};

// Makes a Ports-class device with a COM-port interface; returns the interface path.
std::wstring addFakePort(const FakePort& port);
// Removes every device that has a COM-port interface (Wine lists none of its own).
void removeAllComPortDevices();

// The device's UpperFilters bytes as the single-byte call reports them, or
// nothing when the device has no such value.
std::optional<std::string> readUpperFilters(const std::wstring& instanceId);
void writeUpperFilters(const std::wstring& instanceId, const std::string& bytes);

struct ServiceSettings {
    DWORD type, start, errorControl;
    std::wstring imagePath, displayName;
};

bool filterServiceExists();
// As the service database holds them, or nothing when there is no service.
std::optional<ServiceSettings> readFilterServiceSettings();
// Registers kelPortHi without Velquin, for tests that start from an installed driver.
void registerFilterService(const std::wstring& imagePath);
void deleteFilterService();

std::wstring velquinPath();

struct CommandOutcome {
    std::optional<DWORD> exitCode;  // nothing: still running at the deadline, then killed
    bool showedWindow = false;
};
// Runs Velquin.exe unattended, watching for any window of it meanwhile.
CommandOutcome runVelquin(const std::vector<std::wstring>& arguments,
                          const std::wstring& workingDirectory = {});

// Loads the test kernel driver: COM9 answers the probe, COM8 refuses it.
void loadProbePortDriver();
inline constexpr int probePortNumber = 9;
inline constexpr int refusingPortNumber = 8;

// A file with a .sys name that is no driver: the service is never started.
inline std::wstring makeDummyDriverFile(const std::wstring& path) {
    ui_harness::writeFile(path, "MZ not a driver");
    return path;
}

}  // namespace velquin_e2e
