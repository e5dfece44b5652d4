#include "port_test.hpp"

namespace velquin {

bool TestPort(SerialPortLayer& ports, StatusLine& status, const std::wstring& configuredPort) {
    auto port = ports.Open(L"\\\\.\\" + configuredPort);
    if (!port) {
        status.Set(L"CreateFile on port " + configuredPort + L" " + L"failed");
        return false;
    }
    if (!port->ApplyLineSettings(LineSettings{})) return false;
    return port->SendProbe();
}

}  // namespace velquin
