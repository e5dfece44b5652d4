/* What the program and the kelPortHi kernel driver, which lies outside it,
 * agree on. C as well as C++: the tests' stand-in driver includes it too. */
#pragma once

#ifdef _WIN32
#include <devioctl.h>
#endif

/* The service name and the UpperFilters entry. They must agree, because Plug
 * and Play loads an upper filter by looking up the service of that name. */
#define FILTER_DRIVER_NAME "kelPortHi"
#define FILTER_DRIVER_NAME_W L"" FILTER_DRIVER_NAME

/* The probe the filter answers and the port's own driver refuses: a function
 * in the vendors' range (0x800 and above) of the serial port device type,
 * with one buffer of FILTER_PROBE_BUFFER_SIZE bytes passed in and out. */
#define IOCTL_FILTER_PROBE \
    CTL_CODE(FILE_DEVICE_SERIAL_PORT, 0x906, METHOD_BUFFERED, FILE_ANY_ACCESS)
#define FILTER_PROBE_BUFFER_SIZE 10
