#include "core/upper_filters.hpp"

#include "common/core/text.hpp"
#include "common/core/trace.hpp"
#include "core/device_discovery.hpp"
#include "core/filter_list.hpp"

#include <algorithm>
#include <optional>
#include <vector>

namespace velquin {
namespace {

// Status texts of outcomes the user should hear of.
constexpr wchar_t alreadyInstalled[] = L"Driver already installed for the device";
constexpr wchar_t installedText[] = L"Driver installed for the device";
constexpr wchar_t installWriteFailed[] = L"Error in installing Driver ";
constexpr wchar_t noDeviceSet[] = L"The device list could not be read";
constexpr wchar_t deviceGone[] = L"The selected device is no longer present";
constexpr wchar_t filtersTooLong[] = L"The device's filter list is too long";
constexpr wchar_t filtersUnreadable[] = L"The device's filter list could not be read";
constexpr wchar_t filterStillLoaded[] = L"Try Again After Unplugging the Device";
constexpr wchar_t removedText[] = L"Successfully Removed Driver";

// Registry types Plug and Play reads a filter list from (REG_SZ and
// REG_MULTI_SZ); it ignores any other.
constexpr std::uint32_t stringType = 1;
constexpr std::uint32_t multiStringType = 7;

// The bytes of the device's UpperFilters, or nothing when it cannot be read
// or is of a type that holds no list (the trace says which). No value at all
// is an empty list.
std::optional<std::vector<unsigned char>> filterBytes(DeviceWalk& walk) {
    auto value = walk.readUpperFilters();
    if (!value) {
        common::trace(value.failure());
        return std::nullopt;
    }
    if (value->type && *value->type != multiStringType && *value->type != stringType) {
        common::trace(common::concat({walk.devicePath(), L": UpperFilters is of registry type ",
                                      common::numberText(*value->type), L", not a list"}));
        return std::nullopt;
    }
    return std::move(value->bytes);
}

// Whether the walk now stands on the first device of that name.
common::Result<bool> findDevice(DeviceWalk& walk, const std::wstring& friendlyName) {
    for (;;) {
        const auto step = walk.next();
        if (!step) return step.failure();
        if (*step == WalkStep::End) return false;
        if (walk.friendlyName() == friendlyName) return true;
    }
}

// The status text of putting the filter first in the device's list.
const wchar_t* addFilter(DeviceWalk& walk) {
    const auto old = filterBytes(walk);
    if (!old) return filtersUnreadable;
    FilterBuffer value{};
    std::size_t count = old->size();
    if (count > value.size()) {
        common::trace(common::concat({walk.devicePath(), L": UpperFilters too long to edit"}));
        return filtersTooLong;
    }
    std::copy(old->begin(), old->end(), value.begin());
    if (FindFilterName(value, count) >= 0) return alreadyInstalled;
    if (!InsertFilterName(value, count)) {
        common::trace(
            common::concat({walk.devicePath(), L": no room for the filter in UpperFilters"}));
        return filtersTooLong;
    }
    if (const auto written = walk.writeUpperFilters({value.data(), count}); !written) {
        common::trace(written.failure());
        return installWriteFailed;
    }
    return installedText;
}

// False when the device may still carry the filter afterwards.
bool takeFilterOff(DeviceWalk& walk) {
    auto value = filterBytes(walk);
    if (!value) return false;
    std::size_t count = value->size();
    if (RemoveFilterName(*value, count) == 0) return true;
    // The rest as the list writes it: with no entry left (count 0), the empty list.
    const FilterList rest(std::span<const unsigned char>(*value).first(count));
    if (const auto written = walk.writeUpperFilters(rest.bytes()); !written) {
        common::trace(written.failure());
        return false;
    }
    return true;
}

}  // namespace

bool ConfigureDevice(FilterContext& context, const std::wstring& friendlyName) {
    const auto walk = context.devices.openComPorts(DeviceScope::PresentOnly);
    if (!walk) {
        common::trace(walk.failure());
        context.status.set(noDeviceSet);
        return false;
    }
    const auto found = findDevice(**walk, friendlyName);
    if (!found) {
        common::trace(found.failure());
        context.status.set(walkErrorText(found.failure()));
        return false;
    }
    if (!*found) {
        common::trace(common::concat({L"ConfigureDevice: no present device named ", friendlyName}));
        context.status.set(deviceGone);
        return false;
    }
    const wchar_t* const outcome = addFilter(**walk);
    context.status.set(outcome);
    return outcome == installedText || outcome == alreadyInstalled;
}

bool RemoveFilterFromDevices(FilterContext& context) {
    if (TestPort(context.ports, context.status, context.configuredPort)) {
        common::trace(common::concat(
            {L"RemoveFilterFromDevices: refused: the filter answers on ", context.configuredPort}));
        context.status.set(filterStillLoaded);
        return false;
    }
    const auto walk = context.devices.openComPorts(DeviceScope::AllInstalled);
    if (!walk) {
        common::trace(walk.failure());
        context.status.set(noDeviceSet);
        return false;
    }
    bool everyDeviceClean = true;
    for (;;) {
        const auto step = (*walk)->next();
        if (!step) {  // cut short: devices unvisited may carry the filter
            common::trace(step.failure());
            everyDeviceClean = false;
            break;
        }
        if (*step == WalkStep::End) break;
        if (!takeFilterOff(**walk)) everyDeviceClean = false;
    }
    context.status.set(everyDeviceClean ? removedText : removeFailed);
    return everyDeviceClean;
}

}  // namespace velquin
