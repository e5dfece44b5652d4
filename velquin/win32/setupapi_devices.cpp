#include "setupapi_devices.hpp"

#include "win32_handles.hpp"

#include <vector>

namespace velquin::win32 {
namespace {

// GUID_DEVINTERFACE_COMPORT
constexpr GUID kComPortInterface = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

// Names of up to 255 characters, as the device list shows them.
constexpr DWORD kNameBufferBytes = 512;

class SetupApiWalk final : public DeviceWalk {
public:
    explicit SetupApiWalk(DeviceSetHandle set) : set_(std::move(set)) {}

    WalkStep Next() override {
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof(interfaceData);
        if (!SetupDiEnumDeviceInterfaces(set_.get(), nullptr, &kComPortInterface, index_,
                                         &interfaceData)) {
            const DWORD code = GetLastError();
            if (code == ERROR_NO_MORE_ITEMS) return WalkStep::End;
            return Fail(L"SetupDiEnumDeviceInterfaces", code);
        }
        ++index_;
        return ReadDetail(interfaceData) ? WalkStep::Device : WalkStep::Error;
    }

    WalkError LastError() const override { return error_; }
    std::wstring DevicePath() const override { return devicePath_; }
    std::optional<std::wstring> FriendlyName() override { return ReadText(SPDRP_FRIENDLYNAME); }
    std::optional<std::wstring> Description() override { return ReadText(SPDRP_DEVICEDESC); }

    FilterRead ReadUpperFilters(FilterBuffer& value, std::size_t& count) override {
        count = 0;
        DWORD type = 0;
        DWORD required = 0;
        if (SetupDiGetDeviceRegistryPropertyA(set_.get(), &device_, SPDRP_UPPERFILTERS, &type,
                                              value.data(), static_cast<DWORD>(value.size()),
                                              &required)) {
            count = required <= value.size() ? required : value.size();
            return FilterRead::Read;
        }
        // The size reported on failure says nothing reliable; the error code does.
        switch (GetLastError()) {
            case ERROR_INVALID_DATA:
                return FilterRead::Read;  // no value at all
            case ERROR_INSUFFICIENT_BUFFER:
                return FilterRead::DoesNotFit;
            default:
                return FilterRead::Failed;
        }
    }

    bool WriteUpperFilters(const FilterBuffer& value, std::size_t count) override {
        return SetupDiSetDeviceRegistryPropertyA(set_.get(), &device_, SPDRP_UPPERFILTERS,
                                                 value.data(), static_cast<DWORD>(count)) != FALSE;
    }

private:
    WalkStep Fail(const wchar_t* call, DWORD code) {
        error_ = {call, code};
        return WalkStep::Error;
    }

    // The record is sized from the required-size query, so long paths fit.
    bool ReadDetail(SP_DEVICE_INTERFACE_DATA& interfaceData) {
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailW(set_.get(), &interfaceData, nullptr, 0, &required,
                                         nullptr);
        if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
            Fail(L"SetupDiGetDeviceInterfaceDetail", GetLastError());
            return false;
        }
        std::vector<unsigned char> buffer(required);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        device_ = SP_DEVINFO_DATA{};
        device_.cbSize = sizeof(device_);
        if (!SetupDiGetDeviceInterfaceDetailW(set_.get(), &interfaceData, detail, required, nullptr,
                                              &device_)) {
            Fail(L"SetupDiGetDeviceInterfaceDetail", GetLastError());
            return false;
        }
        devicePath_ = detail->DevicePath;
        return true;
    }

    std::optional<std::wstring> ReadText(DWORD property) {
        wchar_t text[kNameBufferBytes / sizeof(wchar_t)] = {};
        if (!SetupDiGetDeviceRegistryPropertyW(set_.get(), &device_, property, nullptr,
                                               reinterpret_cast<BYTE*>(text),
                                               sizeof(text) - sizeof(wchar_t), nullptr)) {
            return std::nullopt;
        }
        return std::wstring(text);
    }

    DeviceSetHandle set_;
    DWORD index_ = 0;
    SP_DEVINFO_DATA device_{};
    std::wstring devicePath_;
    WalkError error_;
};

}  // namespace

std::unique_ptr<DeviceWalk> SetupApiDevices::OpenComPorts(DeviceScope scope, WalkError& error) {
    DWORD flags = DIGCF_DEVICEINTERFACE;
    if (scope == DeviceScope::PresentOnly) flags |= DIGCF_PRESENT;
    DeviceSetHandle set(SetupDiGetClassDevsW(&kComPortInterface, nullptr, nullptr, flags));
    if (!set) {
        error = {L"SetupDiGetClassDevs", GetLastError()};
        return nullptr;
    }
    return std::make_unique<SetupApiWalk>(std::move(set));
}

}  // namespace velquin::win32
