// In-memory stand-ins for the device, port, service and file layers.
#pragma once

#include "device_layer.hpp"
#include "driver_service.hpp"
#include "port_test.hpp"
#include "status_line.hpp"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velquin::testing {

using namespace std::string_literals;

struct FakeDevice {
    std::wstring friendlyName;
    std::optional<std::wstring> description = L"Serial port";
    bool present = true;
    std::optional<std::string> upperFilters;  // raw bytes; nullopt: no value
    FilterRead readOutcome = FilterRead::Read;
    bool writeFails = false;
    int writes = 0;
};

class FakeDevices final : public DeviceLayer {
public:
    std::deque<FakeDevice> devices;  // add() hands out references that must stay valid
    bool setFails = false;
    int failWalkAtIndex = -1;  // Next() reports an error on reaching this index

    FakeDevice& add(std::wstring friendlyName, std::optional<std::string> filters = std::nullopt) {
        FakeDevice device;
        device.friendlyName = std::move(friendlyName);
        devices.push_back(std::move(device));
        devices.back().upperFilters = std::move(filters);
        return devices.back();
    }

    std::unique_ptr<DeviceWalk> OpenComPorts(DeviceScope scope, WalkError& error) override {
        if (setFails) {
            error = {L"SetupDiGetClassDevs", 5};
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
        WalkError LastError() const override { return {L"SetupDiEnumDeviceInterfaces", 0x3e6}; }
        std::wstring DevicePath() const override {
            return L"\\\\?\\fake#" + std::to_wstring(position_);
        }
        std::optional<std::wstring> FriendlyName() override {
            if (current().friendlyName.empty()) return std::nullopt;
            return current().friendlyName;
        }
        std::optional<std::wstring> Description() override { return current().description; }

        FilterRead ReadUpperFilters(FilterBuffer& value, std::size_t& count) override {
            count = 0;
            FakeDevice& d = current();
            if (d.readOutcome != FilterRead::Read) return d.readOutcome;
            if (!d.upperFilters) return FilterRead::Read;
            if (d.upperFilters->size() > value.size()) return FilterRead::DoesNotFit;
            std::memcpy(value.data(), d.upperFilters->data(), d.upperFilters->size());
            count = d.upperFilters->size();
            return FilterRead::Read;
        }
        bool WriteUpperFilters(const FilterBuffer& value, std::size_t count) override {
            FakeDevice& d = current();
            ++d.writes;
            if (d.writeFails || count >= value.size()) return false;
            d.upperFilters = std::string(reinterpret_cast<const char*>(value.data()), count);
            return true;
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

    std::unique_ptr<SerialPort> Open(const std::wstring& devicePath) override {
        opened.push_back(devicePath);
        auto it = ports.find(devicePath);
        if (it == ports.end()) return nullptr;
        return std::make_unique<Port>(*this, it->second);
    }

private:
    class Port final : public SerialPort {
    public:
        Port(FakePorts& owner, const FakePortState& state) : owner_(owner), state_(state) {}
        bool ApplyLineSettings(const LineSettings& s) override {
            return state_.applyOk && s.baudRate == 9600 && s.byteSize == 8 && s.parity == 0 &&
                   s.stopBits == 0;
        }
        bool SendProbe() override {
            ++owner_.probes;
            return state_.probeOk;
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

    bool IsInstalled() override { return installed.has_value(); }
    bool Install(const ServiceSettings& settings) override {
        if (installFails) return false;
        installed = settings;
        return true;
    }
    bool Delete(const std::wstring&) override {
        ++deletes;
        if (deleteFails) return false;
        installed.reset();
        return true;
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
