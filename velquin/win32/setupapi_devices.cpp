#include "win32/setupapi_devices.hpp"

#include "common/win32/failed_call.hpp"
#include "common/win32/unique_any.hpp"

#include <winioctl.h>

#include <algorithm>
#include <vector>

namespace velquin::win32 {
namespace {

using common::win32::UniqueDeviceInfoSet;

// Names of up to 255 characters, as the device list shows them.
constexpr DWORD nameBufferBytes = 512;

class SetupApiWalk final : public DeviceWalk {
public:
    explicit SetupApiWalk(UniqueDeviceInfoSet set) : set_(std::move(set)) {}

    common::Result<WalkStep> next() override {
        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof(interfaceData);
        if (!SetupDiEnumDeviceInterfaces(set_.get(), nullptr, &GUID_DEVINTERFACE_COMPORT, index_,
                                         &interfaceData)) {
            const DWORD code = GetLastError();
            if (code == ERROR_NO_MORE_ITEMS) return WalkStep::End;
            return FAILED_STATUS(SetupDiEnumDeviceInterfaces, code);
        }
        ++index_;
        if (const auto read = readDetail(interfaceData); !read) return read.failure();
        return WalkStep::Device;
    }

    std::wstring devicePath() const override { return devicePath_; }
    std::optional<std::wstring> friendlyName() override { return readText(SPDRP_FRIENDLYNAME); }
    std::optional<std::wstring> description() override { return readText(SPDRP_DEVICEDESC); }

    common::Result<FilterValue> readUpperFilters() override {
        // Sized from the call's required-size answer; asked again should the
        // value grow between the calls.
        FilterValue value;
        DWORD size = 0;
        for (int attempt = 0; attempt < 4; ++attempt) {
            value.bytes.resize(size);
            DWORD required = 0;
            DWORD type = REG_NONE;
            if (SetupDiGetDeviceRegistryPropertyA(set_.get(), &device_, SPDRP_UPPERFILTERS, &type,
                                                  value.bytes.data(), size, &required)) {
                value.bytes.resize(std::min(required, size));
                value.type = type;
                return value;
            }
            // The size reported on failure says nothing reliable; the error code does.
            const DWORD code = GetLastError();
            if (code == ERROR_INVALID_DATA) return FilterValue{};  // no value at all
            if (code != ERROR_INSUFFICIENT_BUFFER || required <= size)
                return FAILED_STATUS(SetupDiGetDeviceRegistryPropertyA, code).about(devicePath_);
            size = required;
        }
        return FAILED_STATUS(SetupDiGetDeviceRegistryPropertyA, ERROR_INSUFFICIENT_BUFFER)
            .about(devicePath_);
    }

    common::Result<> writeUpperFilters(std::span<const unsigned char> value) override {
        if (!SetupDiSetDeviceRegistryPropertyA(set_.get(), &device_, SPDRP_UPPERFILTERS,
                                               value.data(), static_cast<DWORD>(value.size())))
            return FAILED_CALL(SetupDiSetDeviceRegistryPropertyA).about(devicePath_);
        return {};
    }

private:
    // The detail structure's fixed part is packed on 32-bit Windows and not on 64-bit;
    // cbSize must give the size the running SetupAPI expects, or it refuses
    // the structure (ERROR_INVALID_USER_BUFFER).
    static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) == (sizeof(void*) == 8 ? 8 : 6));

    // The structure is sized from the required-size query, so long paths fit.
    common::Result<> readDetail(SP_DEVICE_INTERFACE_DATA& interfaceData) {
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailW(set_.get(), &interfaceData, nullptr, 0, &required,
                                         nullptr);
        if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))
            return FAILED_CALL(SetupDiGetDeviceInterfaceDetailW);
        std::vector<unsigned char> buffer(required);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        device_ = SP_DEVINFO_DATA{};
        device_.cbSize = sizeof(device_);
        if (!SetupDiGetDeviceInterfaceDetailW(set_.get(), &interfaceData, detail, required, nullptr,
                                              &device_))
            return FAILED_CALL(SetupDiGetDeviceInterfaceDetailW);
        devicePath_ = detail->DevicePath;
        return {};
    }

    std::optional<std::wstring> readText(DWORD property) {
        wchar_t text[nameBufferBytes / sizeof(wchar_t)] = {};
        if (!SetupDiGetDeviceRegistryPropertyW(set_.get(), &device_, property, nullptr,
                                               reinterpret_cast<BYTE*>(text),
                                               sizeof(text) - sizeof(wchar_t), nullptr)) {
            return std::nullopt;
        }
        return std::wstring(text);
    }

    UniqueDeviceInfoSet set_;
    DWORD index_ = 0;
    SP_DEVINFO_DATA device_{};
    std::wstring devicePath_;
};

}  // namespace

common::Result<std::unique_ptr<DeviceWalk>> SetupApiDevices::openComPorts(DeviceScope scope) {
    DWORD flags = DIGCF_DEVICEINTERFACE;
    if (scope == DeviceScope::PresentOnly) flags |= DIGCF_PRESENT;
    UniqueDeviceInfoSet set(
        SetupDiGetClassDevsW(&GUID_DEVINTERFACE_COMPORT, nullptr, nullptr, flags));
    if (!set) return FAILED_CALL(SetupDiGetClassDevsW);
    return std::unique_ptr<DeviceWalk>(std::make_unique<SetupApiWalk>(std::move(set)));
}

}  // namespace velquin::win32
