/* vnic.sys: the older platform family's side of the card's driver. There the
   program makes every move with a control request on its device handle: the
   code is the device index shifted left by 16, OR the function (open 1,
   close 2, set event 7, read 10, write 11), and the buffers are where the
   method in the code's low two bits puts them. Arrival is signalled through
   an event that the program hands over by its handle value.

   For Wine only (DriverEntry refuses to start elsewhere): there the buffers
   of every method, METHOD_NEITHER too, are copies that Wine made in this
   process, as long as the request says, so they are read and written without
   a probe. On Windows a METHOD_NEITHER buffer is the caller's own address,
   which would need ProbeForRead/ProbeForWrite inside a guarded block, and
   MinGW's C compiler has no __try. */
#include "vnic.h"

/* Reached through its name: the ddk headers' import of ExEventObjectType
   does not resolve in Wine's winedevice.exe, and reading it faults there. */
static POBJECT_TYPE* eventType;

void FindEventType(void) {
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, L"ExEventObjectType");
    eventType = MmGetSystemRoutineAddress(&name);
}

void ForgetOlderRecord(Vnic* vnic) {
    RtlZeroMemory(vnic->counters.olderRequests, sizeof vnic->counters.olderRequests);
    vnic->counters.lowestIndex = 0xFFFFFFFFu;
    vnic->counters.highestIndex = 0;
    vnic->counters.signals = 0;
    vnic->refused = 0;
}

void SignalAttached(Vnic* vnic) {
    int i;
    for (i = 0; i < VNIC_ATTACHMENTS; i++) {
        if (vnic->attachments[i].file) {
            /* A referenced event may be set at any level, as long as the
               caller does not wait. */
            KeSetEvent(vnic->attachments[i].event, IO_NO_INCREMENT, FALSE);
            vnic->counters.signals++;
        }
    }
}

void DetachEvents(Vnic* vnic, PFILE_OBJECT file) {
    PKEVENT released[VNIC_ATTACHMENTS];
    int count = 0, i;
    KIRQL irql;
    KeAcquireSpinLock(&vnic->lock, &irql);
    for (i = 0; i < VNIC_ATTACHMENTS; i++) {
        VnicAttachment* attachment = &vnic->attachments[i];
        if (attachment->file && (!file || attachment->file == file)) {
            released[count++] = attachment->event;
            attachment->file = NULL;
            attachment->event = NULL;
            vnic->counters.attached--;
        }
    }
    KeReleaseSpinLock(&vnic->lock, irql);
    for (i = 0; i < count; i++)
        ObDereferenceObject(released[i]);
}

/* Makes `event` (referenced) the event of `file`, in place of the one it had. */
static NTSTATUS Attach(Vnic* vnic, PFILE_OBJECT file, PKEVENT event) {
    VnicAttachment* entry = NULL;
    PKEVENT replaced = NULL;
    KIRQL irql;
    int i;
    KeAcquireSpinLock(&vnic->lock, &irql);
    for (i = 0; i < VNIC_ATTACHMENTS; i++) {
        VnicAttachment* attachment = &vnic->attachments[i];
        if (attachment->file == file) {
            entry = attachment;
            replaced = attachment->event;
            break;
        }
        if (!attachment->file && !entry)
            entry = attachment;
    }
    if (entry) {
        if (!entry->file)
            vnic->counters.attached++;
        entry->file = file;
        entry->event = event;
    }
    KeReleaseSpinLock(&vnic->lock, irql);
    if (replaced)
        ObDereferenceObject(replaced);
    if (!entry) {
        ObDereferenceObject(event);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    return STATUS_SUCCESS;
}

/* Function 7: a 4-byte handle of an event in the calling process (Wine's
   OpenVxDHandle hands the ring-3 handle back unchanged), or 0 to detach.
   During the request the caller is the requestor process: the handle is
   duplicated out of it. Looked up here as it is, the value would name an
   object of this process, not the caller's event. */
static NTSTATUS AttachEvent(Vnic* vnic, PIRP irp, PFILE_OBJECT file, const void* input,
                            ULONG inputLength) {
    PEPROCESS requestor = IoGetRequestorProcess(irp);
    LONG value;
    HANDLE process, local;
    PKEVENT event = NULL;
    NTSTATUS status;
    if (!input || inputLength < sizeof value)
        return STATUS_INVALID_PARAMETER;
    RtlCopyMemory(&value, input, sizeof value);
    if (value == 0) {
        DetachEvents(vnic, file);
        return STATUS_SUCCESS;
    }
    if (!eventType || !requestor)
        return STATUS_NOT_SUPPORTED;
    status = ObOpenObjectByPointer(requestor, OBJ_KERNEL_HANDLE, NULL, PROCESS_DUP_HANDLE, NULL,
                                   KernelMode, &process);
    if (!NT_SUCCESS(status))
        return status;
    /* A 32-bit handle value widens with its sign, as handles do between a
       32-bit and a 64-bit process. */
    /* A kernel handle: the caller's process cannot reach it in this table. */
    status = ZwDuplicateObject(process, LongToHandle(value), NtCurrentProcess(), &local,
                               EVENT_MODIFY_STATE, OBJ_KERNEL_HANDLE, 0);
    ZwClose(process);
    if (!NT_SUCCESS(status))
        return status;
    /* The type check turns away a handle of anything but an event. */
    status = ObReferenceObjectByHandle(local, EVENT_MODIFY_STATE, *eventType, KernelMode,
                                       (PVOID*)&event, NULL);
    ZwClose(local);
    if (!NT_SUCCESS(status))
        return status;
    return Attach(vnic, file, event);
}

/* Where the request's method puts the caller's input and output. Under Wine
   both are copies in this process, also for METHOD_NEITHER, and what the
   output holds when the request ends goes back to the caller, as far as the
   reported byte count reaches. */
static void Buffers(PIRP irp, PIO_STACK_LOCATION stack, void** input, void** output) {
    switch (METHOD_FROM_CTL_CODE(stack->Parameters.DeviceIoControl.IoControlCode)) {
    case METHOD_NEITHER:
        *input = stack->Parameters.DeviceIoControl.Type3InputBuffer;
        *output = irp->UserBuffer;
        break;
    case METHOD_BUFFERED:
        *input = *output = irp->AssociatedIrp.SystemBuffer;
        break;
    default: /* METHOD_IN_DIRECT, METHOD_OUT_DIRECT */
        *input = irp->AssociatedIrp.SystemBuffer;
        *output = irp->MdlAddress
                      ? MmGetSystemAddressForMdlSafe(irp->MdlAddress, NormalPagePriority)
                      : NULL;
        break;
    }
    if (stack->Parameters.DeviceIoControl.InputBufferLength == 0)
        *input = NULL;
    if (stack->Parameters.DeviceIoControl.OutputBufferLength == 0)
        *output = NULL;
}

/* Function 11: the caller's buffer is both input and output, so the output
   must hold the bytes that were sent when the request ends. */
static NTSTATUS OlderWrite(Vnic* vnic, PIRP irp, const void* input, ULONG inputLength, void* output,
                           ULONG outputLength) {
    ULONG count = inputLength;
    NTSTATUS status = Deliver(vnic, input, inputLength);
    if (!NT_SUCCESS(status))
        return Complete(irp, status, 0);
    if (output) {
        count = outputLength < inputLength ? outputLength : inputLength;
        RtlMoveMemory(output, input, count);
    }
    return Complete(irp, STATUS_SUCCESS, count);
}

NTSTATUS OlderRequest(Vnic* vnic, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    ULONG function = code & 0xFFFF, index = code >> 16;
    ULONG inputLength = stack->Parameters.DeviceIoControl.InputBufferLength;
    ULONG outputLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
    ULONG delivered = 0;
    void *input, *output;
    NTSTATUS status = STATUS_SUCCESS;
    BOOLEAN refused;
    KIRQL irql;
    if (!VNIC_OLDER_FUNCTION(function))
        return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    KeAcquireSpinLock(&vnic->lock, &irql);
    vnic->counters.olderRequests[function]++;
    if (index < vnic->counters.lowestIndex)
        vnic->counters.lowestIndex = index;
    if (index > vnic->counters.highestIndex)
        vnic->counters.highestIndex = index;
    refused = (vnic->refused >> function) & 1;
    KeReleaseSpinLock(&vnic->lock, irql);
    if (refused)
        return Complete(irp, STATUS_DEVICE_NOT_READY, 0);
    Buffers(irp, stack, &input, &output);
    switch (function) {
    case VNIC_OLDER_CLOSE:
        DetachEvents(vnic, stack->FileObject);
        break;
    case VNIC_OLDER_SET_EVENT:
        status = AttachEvent(vnic, irp, stack->FileObject, input, inputLength);
        break;
    case VNIC_OLDER_READ:
        status =
            output ? NextMessage(vnic, output, outputLength, &delivered) : STATUS_INVALID_PARAMETER;
        break;
    case VNIC_OLDER_WRITE:
        return OlderWrite(vnic, irp, input, inputLength, output, outputLength);
    default: /* open: nothing to prepare */
        break;
    }
    return Complete(irp, status, delivered);
}
