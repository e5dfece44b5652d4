// Kernel-mode stand-in for serial ports, loaded by the tests as a service of
// its own. It takes every request, and answers the line-setting queries that
// GetCommState sends with zeros. COM9 completes the filter's probe with
// success, as a port with the filter loaded does; COM8 refuses it, as a port
// without the filter does.
#include <ntddk.h>

#include "core/driver_contract.h"

static const struct {
    const WCHAR* deviceName;
    const WCHAR* dosName;
    BOOLEAN answersProbe;
} probedPorts[] = {
    {L"\\Device\\VelquinProbePort", L"\\DosDevices\\COM9", TRUE},
    {L"\\Device\\VelquinPlainPort", L"\\DosDevices\\COM8", FALSE},
};

static NTSTATUS complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static NTSTATUS dispatchCreateClose(PDEVICE_OBJECT device, PIRP irp) {
    (void)device;
    return complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS dispatchDeviceControl(PDEVICE_OBJECT device, PIRP irp) {
    const PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    if (stack->Parameters.DeviceIoControl.IoControlCode == IOCTL_FILTER_PROBE) {
        const BOOLEAN answers = *(BOOLEAN*)device->DeviceExtension;
        return complete(irp, answers ? STATUS_SUCCESS : STATUS_INVALID_DEVICE_REQUEST, 0);
    }
    // The serial requests are METHOD_BUFFERED: the caller reads the system buffer back.
    const ULONG length = stack->Parameters.DeviceIoControl.OutputBufferLength;
    if (length) RtlZeroMemory(irp->AssociatedIrp.SystemBuffer, length);
    return complete(irp, STATUS_SUCCESS, length);
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    (void)registryPath;
    driver->MajorFunction[IRP_MJ_CREATE] = dispatchCreateClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = dispatchCreateClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatchDeviceControl;
    // Never unloaded: it lives as long as the test's own Wine prefix.
    for (ULONG i = 0; i < sizeof probedPorts / sizeof probedPorts[0]; ++i) {
        UNICODE_STRING deviceName;
        UNICODE_STRING dosName;
        RtlInitUnicodeString(&deviceName, probedPorts[i].deviceName);
        RtlInitUnicodeString(&dosName, probedPorts[i].dosName);
        PDEVICE_OBJECT device = NULL;
        NTSTATUS status = IoCreateDevice(driver, sizeof(BOOLEAN), &deviceName,
                                         FILE_DEVICE_SERIAL_PORT, 0, FALSE, &device);
        if (NT_SUCCESS(status)) status = IoCreateSymbolicLink(&dosName, &deviceName);
        if (!NT_SUCCESS(status)) return status;
        *(BOOLEAN*)device->DeviceExtension = probedPorts[i].answersProbe;
        device->Flags &= ~DO_DEVICE_INITIALIZING;
    }
    return STATUS_SUCCESS;
}
