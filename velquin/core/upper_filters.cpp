#include "core/upper_filters.hpp"

#include "common/core/text.hpp"
#include "common/core/trace.hpp"
#include "core/device_discovery.hpp"
#include "core/filter_list.hpp"

#include <algorithm>
#include <vector>

namespace velquin {
namespace {

// Status texts of outcomes the user should hear of.
constexpr wchar_t kAlreadyInstalled[] = L"Driver already installed for the device";
constexpr wchar_t kInstalled[] = L"Driver installed for the device";
constexpr wchar_t kInstallWriteFailed[] = L"Error in installing Driver ";
constexpr wchar_t kNoDeviceSet[] = L"The device list could not be read";
constexpr wchar_t kDeviceGone[] = L"The selected device is no longer present";
constexpr wchar_t kFiltersTooLong[] = L"The device's filter list is too long";
constexpr wchar_t kFiltersUnreadable[] = L"The device's filter list could not be read";
constexpr wchar_t kFilterStillLoaded[] = L"Try Again After Unplugging the Device";
constexpr wchar_t kRemoved[] = L"Successfully Removed Driver";

void Trace(const wchar_t* operation, const std::wstring& what) {
    common::trace(std::wstring(operation) + L": " + what);
}

void Trace(const wchar_t* operation, const DeviceWalk& walk, const common::Failure& failure) {
    Trace(operation, walk.DevicePath() + L": " + failure.text());
}

// Registry types Plug and Play reads a filter list from; it ignores any other.
constexpr std::uint32_t REG_SZ = 1;
constexpr std::uint32_t REG_MULTI_SZ = 7;

// The device's UpperFilters as a list, or false (traced) when it cannot be
// read or is of a type that holds no list. No value at all is an empty list.
bool ReadFilterList(const wchar_t* operation, DeviceWalk& walk, std::vector<unsigned char>& value) {
    std::optional<std::uint32_t> type;
    if (const auto read = walk.ReadUpperFilters(value, type); !read) {
        Trace(operation, walk, read.failure());
        return false;
    }
    if (type && *type != REG_MULTI_SZ && *type != REG_SZ) {
        Trace(operation, walk.DevicePath() + L": UpperFilters is of registry type " +
                             common::numberText(*type) + L", not a list");
        return false;
    }
    return true;
}

// Device when the walk stands on the first device of that name.
WalkStep FindDevice(DeviceWalk& walk, const std::wstring& friendlyName) {
    WalkStep step;
    while ((step = walk.Next()) == WalkStep::Device) {
        if (walk.FriendlyName() == friendlyName) break;
    }
    return step;
}

bool AddFilter(DeviceWalk& walk, StatusLine& status) {
    std::vector<unsigned char> old;
    if (!ReadFilterList(L"ConfigureDevice", walk, old)) {
        status.Set(kFiltersUnreadable);
        return false;
    }
    FilterBuffer value{};
    std::size_t count = old.size();
    if (count > value.size()) {
        Trace(L"ConfigureDevice", walk.DevicePath() + L": UpperFilters too long to edit");
        status.Set(kFiltersTooLong);
        return false;
    }
    std::copy(old.begin(), old.end(), value.begin());
    if (FindFilterName(value, count) >= 0) {
        status.Set(kAlreadyInstalled);
        return true;
    }
    if (!InsertFilterName(value, count)) {
        Trace(L"ConfigureDevice", walk.DevicePath() + L": no room for the filter in UpperFilters");
        status.Set(kFiltersTooLong);
        return false;
    }
    if (const auto written = walk.WriteUpperFilters({value.data(), count}); !written) {
        Trace(L"ConfigureDevice", walk, written.failure());
        status.Set(kInstallWriteFailed);
        return false;
    }
    status.Set(kInstalled);
    return true;
}

// False when the device may still carry the filter afterwards.
bool TakeFilterOff(DeviceWalk& walk) {
    std::vector<unsigned char> value;
    if (!ReadFilterList(L"RemoveFilterFromDevices", walk, value)) return false;
    std::size_t count = value.size();
    if (RemoveFilterName(value, count) == 0) return true;
    // The emptied list: two NULs; the value was cleared and held the name.
    if (count == 0) count = 2;
    if (const auto written = walk.WriteUpperFilters({value.data(), count}); !written) {
        Trace(L"RemoveFilterFromDevices", walk, written.failure());
        return false;
    }
    return true;
}

}  // namespace

bool ConfigureDevice(FilterContext& context, const std::wstring& friendlyName) {
    common::Failure failure;
    auto walk = context.devices.OpenComPorts(DeviceScope::PresentOnly, failure);
    if (!walk) {
        Trace(L"ConfigureDevice", failure.text());
        context.status.Set(kNoDeviceSet);
        return false;
    }
    switch (FindDevice(*walk, friendlyName)) {
        case WalkStep::Device:
            break;
        case WalkStep::End:
            Trace(L"ConfigureDevice", L"no present device named " + friendlyName);
            context.status.Set(kDeviceGone);
            return false;
        case WalkStep::Error:
            Trace(L"ConfigureDevice", walk->LastError().text());
            context.status.Set(WalkErrorText(walk->LastError()));
            return false;
    }
    return AddFilter(*walk, context.status);
}

bool RemoveFilterFromDevices(FilterContext& context) {
    if (TestPort(context.ports, context.status, context.configuredPort)) {
        Trace(L"RemoveFilterFromDevices",
              L"refused: the filter answers on " + context.configuredPort);
        context.status.Set(kFilterStillLoaded);
        return false;
    }
    common::Failure failure;
    auto walk = context.devices.OpenComPorts(DeviceScope::AllInstalled, failure);
    if (!walk) {
        Trace(L"RemoveFilterFromDevices", failure.text());
        context.status.Set(kNoDeviceSet);
        return false;
    }
    bool everyDeviceClean = true;
    WalkStep step;
    while ((step = walk->Next()) == WalkStep::Device) {
        if (!TakeFilterOff(*walk)) everyDeviceClean = false;
    }
    // A walk cut short leaves devices unvisited that may carry the filter.
    if (step == WalkStep::Error) {
        Trace(L"RemoveFilterFromDevices", walk->LastError().text());
        everyDeviceClean = false;
    }
    context.status.Set(everyDeviceClean ? kRemoved : kRemoveFailed);
    return everyDeviceClean;
}

}  // namespace velquin
