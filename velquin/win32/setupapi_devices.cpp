#include "win32/setupapi_devices.hpp"

#include "common/win32/unique_any.hpp"

#include <winioctl.h>

#include <algorithm>
#include <vector>

namespace velquin::win32 {
namespace {

using common::win32::unique_hdevinfo;

// Names of up to 255 characters, as the device list shows them.
constexpr DWORD kNameBufferBytes = 512;

class SetupApiWalk final : public DeviceWalk {
public:
    explicit SetupApiWalk(unique_hdevinfo set) : set_(std::move(set)) {}

    WalkStep Next() override {
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof(interfaceData);
        if (!SetupDiEnumDeviceInterfaces(set_.get(), nullptr, &GUID_DEVINTERFACE_COMPORT, index_,
                                         &interfaceData)) {
            const DWORD code = GetLastError();
            if (code == ERROR_NO_MORE_ITEMS) return WalkStep::End;
            return Fail(L"SetupDiEnumDeviceInterfaces", code);
        }
        ++index_;
        return ReadDetail(interfaceData) ? WalkStep::Device : WalkStep::Error;
    }

    common::Failure LastError() const override { return error_; }
    std::wstring DevicePath() const override { return devicePath_; }
    std::optional<std::wstring> FriendlyName() override { return ReadText(SPDRP_FRIENDLYNAME); }
    std::optional<std::wstring> Description() override { return ReadText(SPDRP_DEVICEDESC); }

    common::Result<> ReadUpperFilters(std::vector<unsigned char>& value,
                                      std::optional<std::uint32_t>& type) override {
        // Sized from the call's required-size answer; asked again should the
        // value grow between the calls.
        DWORD size = 0;
        for (int attempt = 0; attempt < 4; ++attempt) {
            value.resize(size);
            DWORD required = 0;
            DWORD stored = REG_NONE;
            if (SetupDiGetDeviceRegistryPropertyA(set_.get(), &device_, SPDRP_UPPERFILTERS, &stored,
                                                  value.data(), size, &required)) {
                value.resize(std::min(required, size));
                type = stored;
                return common::Result<>();
            }
            // The size reported on failure says nothing reliable; the error code does.
            const DWORD code = GetLastError();
            if (code == ERROR_INVALID_DATA) {  // no value at all
                value.clear();
                type.reset();
                return common::Result<>();
            }
            if (code != ERROR_INSUFFICIENT_BUFFER || required <= size)
                return common::win32Failure(L"SetupDiGetDeviceRegistryPropertyA", code);
            size = required;
        }
        return common::win32Failure(L"SetupDiGetDeviceRegistryPropertyA",
                                    ERROR_INSUFFICIENT_BUFFER);
    }

    common::Result<> WriteUpperFilters(std::span<const unsigned char> value) override {
        if (!SetupDiSetDeviceRegistryPropertyA(set_.get(), &device_, SPDRP_UPPERFILTERS,
                                               value.data(), static_cast<DWORD>(value.size())))
            return common::win32Failure(L"SetupDiSetDeviceRegistryPropertyA", GetLastError());
        return common::Result<>();
    }

private:
    WalkStep Fail(const wchar_t* call, DWORD code) {
        error_ = common::win32Failure(call, code);
        return WalkStep::Error;
    }

    // The record's fixed part is packed on 32-bit Windows and not on 64-bit;
    // cbSize must give the size the running SetupAPI expects, or it refuses
    // the record (ERROR_INVALID_USER_BUFFER).
    static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) == (sizeof(void*) == 8 ? 8 : 6));

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

    unique_hdevinfo set_;
    DWORD index_ = 0;
    SP_DEVINFO_DATA device_{};
    std::wstring devicePath_;
    common::Failure error_;
};

}  // namespace

std::unique_ptr<DeviceWalk> SetupApiDevices::OpenComPorts(DeviceScope scope,
                                                          common::Failure& failure) {
    DWORD flags = DIGCF_DEVICEINTERFACE;
    if (scope == DeviceScope::PresentOnly) flags |= DIGCF_PRESENT;
    unique_hdevinfo set(SetupDiGetClassDevsW(&GUID_DEVINTERFACE_COMPORT, nullptr, nullptr, flags));
    if (!set) {
        failure = common::win32Failure(L"SetupDiGetClassDevs", GetLastError());
        return nullptr;
    }
    return std::make_unique<SetupApiWalk>(std::move(set));
}

}  // namespace velquin::win32
