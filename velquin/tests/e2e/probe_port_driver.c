// Kernel-mode stand-in for a serial port whose stack carries the kelPortHi
// filter: it answers the line-setting requests that GetCommState and
// SetCommState send. COM9 completes the filter's probe with success, as a port
// with the filter loaded does; COM8 refuses it, as a port without the filter
// does. The tests load it as a service of its own.
#include <ntddk.h>
#include <ntddser.h>

#define PROBE_IOCTL 0x001B2418

static const struct {
    const WCHAR* deviceName;
    const WCHAR* dosName;
    BOOLEAN answersProbe;
} kPorts[] = {
    {L"\\Device\\VelquinProbePort", L"\\DosDevices\\COM9", TRUE},
    {L"\\Device\\VelquinPlainPort", L"\\DosDevices\\COM8", FALSE},
};

typedef struct {
    SERIAL_BAUD_RATE baud;
    SERIAL_LINE_CONTROL line;
    SERIAL_HANDFLOW handflow;
    SERIAL_CHARS chars;
} PortSettings;

static PortSettings settings = {
    .baud = {.BaudRate = 115200},
    .line = {.StopBits = STOP_BIT_1, .Parity = NO_PARITY, .WordLength = 8},
    .chars = {.XonChar = 0x11, .XoffChar = 0x13},
};

static NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static NTSTATUS DispatchCreateClose(PDEVICE_OBJECT device, PIRP irp) {
    (void)device;
    return Complete(irp, STATUS_SUCCESS, 0);
}

// Copies a setting out to the caller, or takes a new one from it (METHOD_BUFFERED).
static NTSTATUS Exchange(PIRP irp, void* setting, ULONG size, BOOLEAN toCaller) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    void* buffer = irp->AssociatedIrp.SystemBuffer;
    const ULONG available = toCaller ? stack->Parameters.DeviceIoControl.OutputBufferLength
                                     : stack->Parameters.DeviceIoControl.InputBufferLength;
    if (available < size || !buffer) return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
    if (toCaller) {
        RtlCopyMemory(buffer, setting, size);
        return Complete(irp, STATUS_SUCCESS, size);
    }
    RtlCopyMemory(setting, buffer, size);
    return Complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS DispatchDeviceControl(PDEVICE_OBJECT device, PIRP irp) {
    const ULONG code = IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.IoControlCode;
    switch (code) {
        case IOCTL_SERIAL_GET_BAUD_RATE:
            return Exchange(irp, &settings.baud, sizeof settings.baud, TRUE);
        case IOCTL_SERIAL_SET_BAUD_RATE:
            return Exchange(irp, &settings.baud, sizeof settings.baud, FALSE);
        case IOCTL_SERIAL_GET_LINE_CONTROL:
            return Exchange(irp, &settings.line, sizeof settings.line, TRUE);
        case IOCTL_SERIAL_SET_LINE_CONTROL:
            return Exchange(irp, &settings.line, sizeof settings.line, FALSE);
        case IOCTL_SERIAL_GET_HANDFLOW:
            return Exchange(irp, &settings.handflow, sizeof settings.handflow, TRUE);
        case IOCTL_SERIAL_SET_HANDFLOW:
            return Exchange(irp, &settings.handflow, sizeof settings.handflow, FALSE);
        case IOCTL_SERIAL_GET_CHARS:
            return Exchange(irp, &settings.chars, sizeof settings.chars, TRUE);
        case IOCTL_SERIAL_SET_CHARS:
            return Exchange(irp, &settings.chars, sizeof settings.chars, FALSE);
        case IOCTL_SERIAL_SET_DTR:
        case IOCTL_SERIAL_CLR_DTR:
        case IOCTL_SERIAL_SET_RTS:
        case IOCTL_SERIAL_CLR_RTS:
            return Complete(irp, STATUS_SUCCESS, 0);
        case PROBE_IOCTL:
            return Complete(
                irp,
                *(BOOLEAN*)device->DeviceExtension ? STATUS_SUCCESS : STATUS_INVALID_DEVICE_REQUEST,
                0);
        default:
            return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
}

static void DriverUnload(PDRIVER_OBJECT driver) {
    for (ULONG i = 0; i < sizeof kPorts / sizeof kPorts[0]; ++i) {
        UNICODE_STRING dosName;
        RtlInitUnicodeString(&dosName, kPorts[i].dosName);
        IoDeleteSymbolicLink(&dosName);
    }
    while (driver->DeviceObject) IoDeleteDevice(driver->DeviceObject);
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    (void)registryPath;
    driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchCreateClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
    driver->DriverUnload = DriverUnload;
    for (ULONG i = 0; i < sizeof kPorts / sizeof kPorts[0]; ++i) {
        UNICODE_STRING deviceName;
        UNICODE_STRING dosName;
        RtlInitUnicodeString(&deviceName, kPorts[i].deviceName);
        RtlInitUnicodeString(&dosName, kPorts[i].dosName);
        PDEVICE_OBJECT device = NULL;
        NTSTATUS status = IoCreateDevice(driver, sizeof(BOOLEAN), &deviceName,
                                         FILE_DEVICE_SERIAL_PORT, 0, FALSE, &device);
        if (NT_SUCCESS(status)) status = IoCreateSymbolicLink(&dosName, &deviceName);
        if (!NT_SUCCESS(status)) {
            DriverUnload(driver);
            return status;
        }
        *(BOOLEAN*)device->DeviceExtension = kPorts[i].answersProbe;
        device->Flags &= ~DO_DEVICE_INITIALIZING;
    }
    return STATUS_SUCCESS;
}
