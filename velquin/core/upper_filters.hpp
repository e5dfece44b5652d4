// Attaching the kelPortHi filter to a device and detaching it from all devices,
// through the devices' UpperFilters property.
#pragma once

#include "core/device_layer.hpp"
#include "core/port_probe.hpp"
#include "core/status_line.hpp"

#include <string>

namespace velquin {

// The status text of a removal that did not complete.
inline constexpr wchar_t removeFailed[] = L"Error in removing Driver ";

// What the filter operations work on. configuredPort names the port whose
// probe guards removal; empty when nothing has been configured.
struct FilterContext {
    DeviceLayer& devices;
    SerialPortLayer& ports;
    StatusLine& status;
    const std::wstring& configuredPort;
};

// Puts the filter first in the UpperFilters of the first present device whose
// friendly name equals friendlyName. True when the filter is now listed there.
// A list that would reach filterBufferSize bytes is refused.
bool ConfigureDevice(FilterContext& context, const std::wstring& friendlyName);

// Takes the filter out of every COM-port device, present or not, whatever the
// length of its list. Refused while the filter answers on the configured port.
// True when every device that carried the filter was rewritten, also when none
// carried it; a list that cannot be read at all counts as not cleaned.
bool RemoveFilterFromDevices(FilterContext& context);

}  // namespace velquin
