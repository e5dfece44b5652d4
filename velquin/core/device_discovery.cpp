#include "device_discovery.hpp"

#include <sstream>

namespace velquin {

std::wstring FormatWalkError(const WalkError& error) {
    std::wostringstream text;
    text << error.call << L" failed. (err=" << std::hex << error.code << L")";
    return text.str();
}

void EnumerateSerialDevices(DeviceLayer& layer, std::list<DeviceEntry>& devices) {
    WalkError openError;
    auto walk = layer.OpenComPorts(DeviceScope::PresentOnly, openError);
    if (!walk) throw FormatWalkError(openError);

    std::list<DeviceEntry> found;
    for (;;) {
        const WalkStep step = walk->Next();
        if (step == WalkStep::End) break;
        if (step == WalkStep::Error) throw FormatWalkError(walk->LastError());
        auto friendlyName = walk->FriendlyName();
        if (!friendlyName) continue;
        auto description = walk->Description();
        if (!description) continue;
        found.push_back({walk->DevicePath(), std::move(*friendlyName), std::move(*description)});
    }
    devices.splice(devices.end(), found);
}

}  // namespace velquin
