// In-memory stand-ins for the device, port, service and file layers.
#pragma once

#include "core/device_layer.hpp"
#include "core/driver_service.hpp"
#include "core/port_probe.hpp"
#include "core/status_line.hpp"

#include <deque>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace velquin::fakes {

using namespace std::string_literals;
using common::win32Failure;

struct FakeDevice {
    std::wstring friendlyName;
    std::optional<std::wstring> description = L"Serial port";
    bool present = true;
    std::optional<std::string> upperFilters;  // raw bytes; nullopt: no value
    std::uint32_t type = 7;                   // of the value: REG_MULTI_SZ
    bool readFails = false;
    bool writeFails = false;
    int writes = 0;
};

class FakeDevices final : public DeviceLayer {
public:
    std::deque<FakeDevice> devices;  // add() hands out references that must stay valid
    bool setFails = false;
    int failWalkAtIndex = -1;  // next() fails on reaching this index

    FakeDevice& add(std::wstring friendlyName, std::optional<std::string> filters = std::nullopt) {
        return devices.emplace_back(FakeDevice{.friendlyName = std::move(friendlyName),
                                               .upperFilters = std::move(filters)});
    }

    common::Result<std::unique_ptr<DeviceWalk>> openComPorts(DeviceScope scope) override {
        if (setFails) return win32Failure(L"SetupDiGetClassDevsW", 5);
        return std::unique_ptr<DeviceWalk>(std::make_unique<Walk>(*this, scope));
    }

private:
    class Walk final : public DeviceWalk {
    public:
        Walk(FakeDevices& owner, DeviceScope scope) : owner_(owner), scope_(scope) {}

        common::Result<WalkStep> next() override {
            for (++at_; at_ < owner_.devices.size(); ++at_) {
                if (static_cast<int>(visited_++) == owner_.failWalkAtIndex)
                    return win32Failure(L"SetupDiEnumDeviceInterfaces", 0x3e6);
                if (scope_ == DeviceScope::AllInstalled || device().present)
                    return WalkStep::Device;
            }
            return WalkStep::End;
        }
        std::wstring devicePath() const override { return L"\\\\?\\fake#" + std::to_wstring(at_); }
        std::optional<std::wstring> friendlyName() override {
            if (device().friendlyName.empty()) return std::nullopt;
            return device().friendlyName;
        }
        std::optional<std::wstring> description() override { return device().description; }

        common::Result<FilterValue> readUpperFilters() override {
            const FakeDevice& d = device();
            if (d.readFails) return win32Failure(L"SetupDiGetDeviceRegistryPropertyA", 5);
            if (!d.upperFilters) return FilterValue{};
            return FilterValue{{d.upperFilters->begin(), d.upperFilters->end()}, d.type};
        }
        common::Result<> writeUpperFilters(std::span<const unsigned char> value) override {
            FakeDevice& d = device();
            ++d.writes;
            if (d.writeFails) return win32Failure(L"SetupDiSetDeviceRegistryPropertyA", 5);
            d.upperFilters = std::string(value.begin(), value.end());
            return {};
        }

    private:
        FakeDevice& device() const { return owner_.devices.at(at_); }
        FakeDevices& owner_;
        DeviceScope scope_;
        std::size_t at_ = static_cast<std::size_t>(-1);
        std::size_t visited_ = 0;
    };
};

// Ports by device path; probeOk: the filter sits in this port's stack.
struct FakePortState {
    bool applyOk = true;
    bool probeOk = false;
};

class FakePorts final : public SerialPortLayer {
public:
    std::map<std::wstring, FakePortState> ports;
    std::vector<std::wstring> opened;
    int probes = 0;

    common::Result<std::unique_ptr<SerialPort>> open(const std::wstring& devicePath) override {
        opened.push_back(devicePath);
        const auto it = ports.find(devicePath);
        if (it == ports.end()) return win32Failure(L"CreateFileW", 2);
        return std::unique_ptr<SerialPort>(std::make_unique<Port>(*this, it->second));
    }

private:
    struct Port final : SerialPort {
        Port(FakePorts& owner, FakePortState state) : owner(owner), state(state) {}
        common::Result<> applyLineSettings(const LineSettings& s) override {
            if (state.applyOk && s.baudRate == 9600 && s.byteSize == 8 && s.parity == 0 &&
                s.stopBits == 0)
                return {};
            return win32Failure(L"SetCommState", 87);
        }
        common::Result<> sendProbe() override {
            ++owner.probes;
            if (state.probeOk) return {};
            return win32Failure(L"DeviceIoControl", 1);
        }
        FakePorts& owner;
        FakePortState state;
    };
};

class StatusSpy final : public StatusLine {
public:
    std::vector<std::wstring> texts;
    void set(const std::wstring& text) override { texts.push_back(text); }
    std::wstring last() const { return texts.empty() ? L"<none>" : texts.back(); }
};

class FakeServices final : public ServiceLayer {
public:
    std::optional<ServiceSettings> installed;
    bool installFails = false;
    bool deleteFails = false;
    int deletes = 0;

    common::Result<> isInstalled() override {
        if (installed) return {};
        return win32Failure(L"OpenServiceW", 1060);
    }
    common::Result<> install(const ServiceSettings& settings) override {
        if (installFails) return win32Failure(L"CreateServiceW", 1072);
        installed = settings;
        return {};
    }
    common::Result<> remove(const std::wstring&) override {
        ++deletes;
        if (deleteFails) return win32Failure(L"DeleteService", 5);
        installed.reset();
        return {};
    }
};

// Relative paths are taken from C:\work.
class FakeFiles final : public FileSystem {
public:
    std::set<std::wstring> files;

    common::Result<std::wstring> existingFile(const std::wstring& path) override {
        const std::wstring full = path.size() > 1 && path[1] == L':' ? path : L"C:\\work\\" + path;
        if (!files.contains(full)) return win32Failure(L"GetFileAttributesW", 2);
        return full;
    }
};

}  // namespace velquin::fakes
