#include "upper_filters.hpp"

#include "device_discovery.hpp"

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
constexpr wchar_t kRemoveFailed[] = L"Error in removing Driver ";
constexpr wchar_t kRemoved[] = L"Successfully Removed Driver";

// Device when the walk stands on the first device of that name.
WalkStep FindDevice(DeviceWalk& walk, const std::wstring& friendlyName) {
    WalkStep step;
    while ((step = walk.Next()) == WalkStep::Device) {
        if (walk.FriendlyName() == friendlyName) break;
    }
    return step;
}

bool AddFilter(DeviceWalk& walk, StatusLine& status) {
    FilterBuffer value{};
    std::size_t count = 0;
    switch (walk.ReadUpperFilters(value, count)) {
        case FilterRead::Read:
            break;
        case FilterRead::DoesNotFit:
            status.Set(kFiltersTooLong);
            return false;
        case FilterRead::Failed:
            status.Set(kFiltersUnreadable);
            return false;
    }
    if (FindFilterName(value, count) >= 0) {
        status.Set(kAlreadyInstalled);
        return true;
    }
    if (!InsertFilterName(value, count)) {
        status.Set(kFiltersTooLong);
        return false;
    }
    const bool written = walk.WriteUpperFilters(value, count);
    status.Set(written ? kInstalled : kInstallWriteFailed);
    return written;
}

// False when the device may still carry the filter afterwards.
bool TakeFilterOff(DeviceWalk& walk) {
    FilterBuffer value{};
    std::size_t count = 0;
    if (walk.ReadUpperFilters(value, count) != FilterRead::Read) return false;
    if (RemoveFilterName(value, count) == 0) return true;
    if (count == 0) count = 2;  // the emptied list: two NULs, buffer already cleared
    return walk.WriteUpperFilters(value, count);
}

}  // namespace

bool ConfigureDevice(FilterContext& context, const std::wstring& friendlyName) {
    WalkError error;
    auto walk = context.devices.OpenComPorts(DeviceScope::PresentOnly, error);
    if (!walk) {
        context.status.Set(kNoDeviceSet);
        return false;
    }
    switch (FindDevice(*walk, friendlyName)) {
        case WalkStep::Device:
            break;
        case WalkStep::End:
            context.status.Set(kDeviceGone);
            return false;
        case WalkStep::Error:
            context.status.Set(FormatWalkError(walk->LastError()));
            return false;
    }
    return AddFilter(*walk, context.status);
}

bool RemoveFilterFromDevices(FilterContext& context) {
    if (TestPort(context.ports, context.status, context.configuredPort)) {
        context.status.Set(kFilterStillLoaded);
        return false;
    }
    WalkError error;
    auto walk = context.devices.OpenComPorts(DeviceScope::AllInstalled, error);
    if (!walk) {
        context.status.Set(kNoDeviceSet);
        return false;
    }
    bool everyDeviceClean = true;
    WalkStep step;
    while ((step = walk->Next()) == WalkStep::Device) {
        if (!TakeFilterOff(*walk)) everyDeviceClean = false;
    }
    // A walk cut short leaves devices unvisited that may carry the filter.
    if (step == WalkStep::Error) everyDeviceClean = false;
    context.status.Set(everyDeviceClean ? kRemoved : kRemoveFailed);
    return everyDeviceClean;
}

}  // namespace velquin
