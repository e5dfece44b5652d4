// Lays out a few COM-port devices in the current Wine prefix for the demo:
// three present ones (one with a long Bluetooth-style interface path) and an
// unplugged one that the list leaves out.
#include <cstdio>

#include "tests/e2e/e2e_support.hpp"

int wmain() {
    using velquin_e2e::addFakePort;
    try {
        velquin_e2e::removeAllComPortDevices();
        addFakePort({L"ROOT\\VELQUINDEMO\\0001", L"USB Serial Port (COM3)"});
        addFakePort({L"ROOT\\VELQUINDEMO\\0002", L"Standard Serial over Bluetooth link (COM4)",
                     true,
                     L"{00001101-0000-1000-8000-00805f9b34fb}_LOCALMFG&0002_0000000000000000"});
        addFakePort({L"ROOT\\VELQUINDEMO\\0003", L"Communications Port (COM5)"});
        addFakePort({L"ROOT\\VELQUINDEMO\\0004", L"Unplugged Modem Port (COM6)", false});
    } catch (const std::exception& error) {
        std::fprintf(stderr, "demo ports: %s\n", error.what());
        return 1;
    }
    return 0;
}
