#include "core/device_discovery.hpp"

#include "common/core/text.hpp"
#include "common/core/trace.hpp"

#include <string_view>

namespace velquin {

std::wstring walkErrorText(const common::Failure& failure) {
    // The SDK's generic name (SetupDiGetClassDevs), as the status line has
    // always shown it; the trace keeps the wide form actually called.
    std::wstring_view call = failure.call;
    if (call.ends_with(L'W')) call.remove_suffix(1);
    return common::concat({call, L" failed. (err=", common::numberText(failure.code, 16), L")"});
}

common::Result<std::list<DeviceEntry>> EnumerateSerialDevices(DeviceLayer& layer) {
    auto walk = layer.openComPorts(DeviceScope::PresentOnly);
    if (!walk) return walk.failure();
    DeviceWalk& devices = **walk;
    std::list<DeviceEntry> found;
    for (;;) {
        const auto step = devices.next();
        if (!step) return step.failure();
        if (*step == WalkStep::End) return found;
        auto friendlyName = devices.friendlyName();
        auto description = friendlyName ? devices.description() : std::nullopt;
        if (!description) {
            common::trace(
                common::concat({L"EnumerateSerialDevices: left out ", devices.devicePath(),
                                L": no friendly name or description"}));
            continue;
        }
        found.push_back({devices.devicePath(), std::move(*friendlyName), std::move(*description)});
    }
}

}  // namespace velquin
