#include "core/device_discovery.hpp"

#include "common/core/text.hpp"
#include "common/core/trace.hpp"

namespace velquin {

std::wstring WalkErrorText(const common::Failure& failure) {
    return failure.call + L" failed. (err=" + common::numberText(failure.code, 16) + L")";
}

void EnumerateSerialDevices(DeviceLayer& layer, std::list<DeviceEntry>& devices) {
    common::Failure openFailure;
    auto walk = layer.OpenComPorts(DeviceScope::PresentOnly, openFailure);
    if (!walk) throw openFailure;

    std::list<DeviceEntry> found;
    for (;;) {
        const WalkStep step = walk->Next();
        if (step == WalkStep::End) break;
        if (step == WalkStep::Error) throw walk->LastError();
        auto friendlyName = walk->FriendlyName();
        auto description = friendlyName ? walk->Description() : std::nullopt;
        if (!description) {
            common::trace(L"EnumerateSerialDevices: left out " + walk->DevicePath() +
                          L": no friendly name or description");
            continue;
        }
        found.push_back({walk->DevicePath(), std::move(*friendlyName), std::move(*description)});
    }
    devices.splice(devices.end(), found);
}

}  // namespace velquin
