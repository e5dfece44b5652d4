#include "core/port_probe.hpp"

#include "common/core/text.hpp"
#include "common/core/trace.hpp"

namespace velquin {

bool TestPort(SerialPortLayer& ports, StatusLine& status, const std::wstring& configuredPort) {
    const auto port = ports.open(L"\\\\.\\" + configuredPort);
    if (!port) {
        common::trace(port.failure());
        status.set(common::concat({L"CreateFile on port ", configuredPort, L" failed"}));
        return false;
    }
    auto answered = (*port)->applyLineSettings(LineSettings{});
    if (answered) answered = (*port)->sendProbe();
    // A refused probe is the usual answer of a port without the filter.
    if (!answered) common::trace(answered.failure());
    return static_cast<bool>(answered);
}

}  // namespace velquin
