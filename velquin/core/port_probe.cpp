#include "core/port_probe.hpp"

#include "common/core/trace.hpp"

namespace velquin {
namespace {

bool Traced(const common::Result<>& outcome, const std::wstring& port) {
    if (!outcome) common::trace(L"TestPort " + port + L": " + outcome.failure().text());
    return static_cast<bool>(outcome);
}

}  // namespace

bool TestPort(SerialPortLayer& ports, StatusLine& status, const std::wstring& configuredPort) {
    common::Failure openFailure;
    auto port = ports.Open(L"\\\\.\\" + configuredPort, openFailure);
    if (!port) {
        Traced(openFailure, configuredPort);
        status.Set(L"CreateFile on port " + configuredPort + L" " + L"failed");
        return false;
    }
    return Traced(port->ApplyLineSettings(LineSettings{}), configuredPort) &&
           Traced(port->SendProbe(), configuredPort);
}

}  // namespace velquin
