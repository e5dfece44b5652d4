// In-memory stand-ins for the device, port, service and file layers.
#pragma once

#include "core/device_layer.hpp"
#include "core/driver_service.hpp"
#include "core/port_probe.hpp"
#include "core/status_line.hpp"

#include <algorithm>
#include <deque>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velquin::testing {

using namespace std::string_literals;

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
    int failWalkAtIndex = -1;  // Next() reports an error on reaching this index

    FakeDevice& add(std::wstring friendlyName, std::optional<std::string> filters = std::nullopt) {
        return devices.emplace_back(FakeDevice{.friendlyName = std::move(friendlyName),
                                               .upperFilters = std::move(filters)});
    }

    std::unique_ptr<DeviceWalk> OpenComPorts(DeviceScope scope, common::Failure& failure) override {
        if (setFails) {
            failure = common::win32Failure(L"SetupDiGetClassDevs", 5);
            return nullptr;
        }
        return std::make_unique<Walk>(*this, scope);
    }

private:
    class Walk final : public DeviceWalk {
    public:
        Walk(FakeDevices& owner, DeviceScope scope) : owner_(owner), scope_(scope) {}

        WalkStep Next() override {
            for (++position_; position_ < owner_.devices.size(); ++position_) {
                if (static_cast<int>(visited_++) == owner_.failWalkAtIndex) return WalkStep::Error;
                if (scope_ == DeviceScope::AllInstalled || current().present)
                    return WalkStep::Device;
            }
            return WalkStep::End;
        }
        common::Failure LastError() const override {
            return common::win32Failure(L"SetupDiEnumDeviceInterfaces", 0x3e6);
        }
        std::wstring DevicePath() const override {
            return L"\\\\?\\fake#" + std::to_wstring(position_);
        }
        std::optional<std::wstring> FriendlyName() override {
            if (current().friendlyName.empty()) return std::nullopt;
            return current().friendlyName;
        }
        std::optional<std::wstring> Description() override { return current().description; }

        common::Result<> ReadUpperFilters(std::vector<unsigned char>& value,
                                          std::optional<std::uint32_t>& type) override {
            const FakeDevice& d = current();
            if (d.readFails) return common::win32Failure(L"SetupDiGetDeviceRegistryPropertyA", 5);
            const std::string bytes = d.upperFilters.value_or("");
            value.assign(bytes.begin(), bytes.end());
            type = d.upperFilters ? std::optional(d.type) : std::nullopt;
            return common::Result<>();
        }
        common::Result<> WriteUpperFilters(std::span<const unsigned char> value) override {
            FakeDevice& d = current();
            ++d.writes;
            if (d.writeFails) return common::win32Failure(L"SetupDiSetDeviceRegistryPropertyA", 5);
            d.upperFilters = std::string(value.begin(), value.end());
            return common::Result<>();
        }

    private:
        FakeDevice& current() const { return owner_.devices.at(position_); }
        FakeDevices& owner_;
        DeviceScope scope_;
        std::size_t position_ = static_cast<std::size_t>(-1);
        std::size_t visited_ = 0;
    };
};

struct FakePortState {
    bool applyOk = true;
    bool probeOk = false;  // true: the filter sits in this port's stack
};

class FakePorts final : public SerialPortLayer {
public:
    std::map<std::wstring, FakePortState> ports;  // by device path
    std::vector<std::wstring> opened;
    int probes = 0;

    std::unique_ptr<SerialPort> Open(const std::wstring& devicePath,
                                     common::Failure& failure) override {
        opened.push_back(devicePath);
        auto it = ports.find(devicePath);
        if (it == ports.end()) {
            failure = common::win32Failure(L"CreateFileW", 2);
            return nullptr;
        }
        return std::make_unique<Port>(*this, it->second);
    }

private:
    class Port final : public SerialPort {
    public:
        Port(FakePorts& owner, const FakePortState& state) : owner_(owner), state_(state) {}
        common::Result<> ApplyLineSettings(const LineSettings& s) override {
            if (state_.applyOk && s.baudRate == 9600 && s.byteSize == 8 && s.parity == 0 &&
                s.stopBits == 0)
                return common::Result<>();
            return common::win32Failure(L"SetCommState", 87);
        }
        common::Result<> SendProbe() override {
            ++owner_.probes;
            if (state_.probeOk) return common::Result<>();
            return common::win32Failure(L"DeviceIoControl", 1);
        }

    private:
        FakePorts& owner_;
        FakePortState state_;
    };
};

class RecordingStatus final : public StatusLine {
public:
    std::vector<std::wstring> texts;
    void Set(const std::wstring& text) override { texts.push_back(text); }
    std::wstring last() const { return texts.empty() ? L"<none>" : texts.back(); }
};

class FakeServices final : public ServiceLayer {
public:
    std::optional<ServiceSettings> installed;
    bool installFails = false;
    bool deleteFails = false;
    int deletes = 0;

    common::Result<> IsInstalled() override {
        if (installed) return common::Result<>();
        return common::win32Failure(L"OpenServiceW", 1060);
    }
    common::Result<> Install(const ServiceSettings& settings) override {
        if (installFails) return common::win32Failure(L"CreateServiceW", 1072);
        installed = settings;
        return common::Result<>();
    }
    common::Result<> Delete(const std::wstring&) override {
        ++deletes;
        if (deleteFails) return common::win32Failure(L"DeleteService", 5);
        installed.reset();
        return common::Result<>();
    }
};

class FakeFiles final : public FileSystem {
public:
    std::wstring currentDirectory = L"C:\\work\\";
    std::vector<std::wstring> files;

    std::optional<std::wstring> FullPath(const std::wstring& path) override {
        if (path.size() > 1 && path[1] == L':') return path;
        return currentDirectory + path;
    }
    bool IsExistingFile(const std::wstring& fullPath) override {
        return std::find(files.begin(), files.end(), fullPath) != files.end();
    }
};

}  // namespace velquin::testing
