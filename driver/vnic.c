/* vnic.sys: a virtual network interface driver. Each device carries messages
   between the program that opened it and a network process on the other side
   of a control path, behaving as the card's driver does towards the program:
   any number of opens; a read completes at once with one whole message or
   none; a write takes one whole message; a zero-length read stays pending
   until a message can be read. This file has the device and the requests of
   the NT family; vnic_older.c the control requests of the older family.
   For Wine only, where it stands in for the card's driver in tests:
   DriverEntry refuses to start elsewhere, since the older family's requests
   use METHOD_NEITHER buffers without a probe, which is safe only where Wine
   hands them over as copies (vnic_older.c). */
#include "vnic.h"

static VnicMessage* QueueFront(VnicQueue* queue) {
    return queue->count ? &queue->slots[queue->head] : NULL;
}

static void QueuePop(VnicQueue* queue) {
    queue->head = (queue->head + 1) % VNIC_QUEUE_SIZE;
    queue->count--;
}

static BOOLEAN QueuePush(VnicQueue* queue, const UCHAR* bytes, ULONG length) {
    VnicMessage* slot;
    if (queue->count == VNIC_QUEUE_SIZE)
        return FALSE;
    slot = &queue->slots[(queue->head + queue->count) % VNIC_QUEUE_SIZE];
    RtlCopyMemory(slot->bytes, bytes, length);
    slot->length = (USHORT)length;
    queue->count++;
    return TRUE;
}

NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static VOID NTAPI CancelPending(PDEVICE_OBJECT device, PIRP irp) {
    Vnic* vnic = device->DeviceExtension;
    KIRQL irql;
    IoReleaseCancelSpinLock(irp->CancelIrql);
    KeAcquireSpinLock(&vnic->lock, &irql);
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    vnic->counters.cancelled++;
    KeReleaseSpinLock(&vnic->lock, irql);
    Complete(irp, STATUS_CANCELLED, 0);
}

/* Under the lock: removes and returns the first request of the list that may
   still be completed by us, optionally only one of `file`. A request whose
   cancel routine has already been claimed is left for that routine, which
   takes it off the list itself. */
static PIRP ClaimPending(LIST_ENTRY* list, PFILE_OBJECT file) {
    LIST_ENTRY* entry;
    for (entry = list->Flink; entry != list; entry = entry->Flink) {
        PIRP irp = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
        if (file && IoGetCurrentIrpStackLocation(irp)->FileObject != file)
            continue;
        if (IoSetCancelRoutine(irp, NULL) != NULL) {
            RemoveEntryList(entry);
            return irp;
        }
    }
    return NULL;
}

/* Under the lock: parks a request on a list, or completes it at once as
   cancelled when its canceller came first. Always yields STATUS_PENDING. */
static NTSTATUS Park(Vnic* vnic, LIST_ENTRY* list, PIRP irp, KIRQL irql) {
    IoMarkIrpPending(irp);
    IoSetCancelRoutine(irp, CancelPending);
    if (irp->Cancel && IoSetCancelRoutine(irp, NULL) != NULL) {
        KeReleaseSpinLock(&vnic->lock, irql);
        Complete(irp, STATUS_CANCELLED, 0);
        return STATUS_PENDING;
    }
    InsertTailList(list, &irp->Tail.Overlay.ListEntry);
    KeReleaseSpinLock(&vnic->lock, irql);
    return STATUS_PENDING;
}

/* Moves every claimable request of `list` (of `file` only, when given) to
   `out`, under the lock. */
static void ClaimAll(LIST_ENTRY* list, PFILE_OBJECT file, LIST_ENTRY* out) {
    PIRP irp;
    while ((irp = ClaimPending(list, file)) != NULL)
        InsertTailList(out, &irp->Tail.Overlay.ListEntry);
}

static void CompleteAll(LIST_ENTRY* claimed, NTSTATUS status) {
    while (!IsListEmpty(claimed)) {
        LIST_ENTRY* entry = RemoveHeadList(claimed);
        Complete(CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry), status, 0);
    }
}

static NTSTATUS NTAPI DispatchCreate(PDEVICE_OBJECT device, PIRP irp) {
    Vnic* vnic = device->DeviceExtension;
    KIRQL irql;
    KeAcquireSpinLock(&vnic->lock, &irql);
    vnic->counters.openFiles++;
    KeReleaseSpinLock(&vnic->lock, irql);
    return Complete(irp, STATUS_SUCCESS, 0);
}

/* Cleanup and close both end the file's pending requests: Wine sends no
   cleanup request, and closing a handle there does not cancel them. */
static NTSTATUS NTAPI DispatchCleanupClose(PDEVICE_OBJECT device, PIRP irp) {
    Vnic* vnic = device->DeviceExtension;
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    LIST_ENTRY claimed;
    KIRQL irql;
    InitializeListHead(&claimed);
    KeAcquireSpinLock(&vnic->lock, &irql);
    ClaimAll(&vnic->arrivalReads, stack->FileObject, &claimed);
    ClaimAll(&vnic->takeRequests, stack->FileObject, &claimed);
    if (stack->MajorFunction == IRP_MJ_CLOSE && vnic->counters.openFiles > 0)
        vnic->counters.openFiles--;
    KeReleaseSpinLock(&vnic->lock, irql);
    CompleteAll(&claimed, STATUS_CANCELLED);
    DetachEvents(vnic, stack->FileObject);
    return Complete(irp, STATUS_SUCCESS, 0);
}

NTSTATUS NextMessage(Vnic* vnic, UCHAR* out, ULONG capacity, ULONG* delivered) {
    VnicMessage* front;
    NTSTATUS status = STATUS_SUCCESS;
    KIRQL irql;
    *delivered = 0;
    KeAcquireSpinLock(&vnic->lock, &irql);
    front = QueueFront(&vnic->toProgram);
    if (!front) {
        vnic->counters.emptyReads++;
    } else if (front->length > capacity) {
        /* Never a part of a message: it stays for a larger read. */
        status = STATUS_BUFFER_TOO_SMALL;
    } else {
        *delivered = front->length;
        RtlCopyMemory(out, front->bytes, front->length);
        QueuePop(&vnic->toProgram);
        vnic->counters.reads++;
    }
    KeReleaseSpinLock(&vnic->lock, irql);
    return status;
}

static NTSTATUS NTAPI DispatchRead(PDEVICE_OBJECT device, PIRP irp) {
    Vnic* vnic = device->DeviceExtension;
    ULONG length = IoGetCurrentIrpStackLocation(irp)->Parameters.Read.Length;
    ULONG delivered;
    NTSTATUS status;
    KIRQL irql;
    if (length == 0) {
        /* The arrival read: done at once when a message waits, else later. */
        KeAcquireSpinLock(&vnic->lock, &irql);
        if (QueueFront(&vnic->toProgram)) {
            KeReleaseSpinLock(&vnic->lock, irql);
            return Complete(irp, STATUS_SUCCESS, 0);
        }
        return Park(vnic, &vnic->arrivalReads, irp, irql);
    }
    status = NextMessage(vnic, irp->AssociatedIrp.SystemBuffer, length, &delivered);
    return Complete(irp, status, delivered);
}

NTSTATUS Deliver(Vnic* vnic, const UCHAR* bytes, ULONG length) {
    PIRP take;
    KIRQL irql;
    if (!bytes || length == 0 || length > VNIC_MESSAGE_MAX)
        return STATUS_INVALID_PARAMETER;
    KeAcquireSpinLock(&vnic->lock, &irql);
    take = ClaimPending(&vnic->takeRequests, NULL);
    if (!take && !QueuePush(&vnic->fromProgram, bytes, length)) {
        KeReleaseSpinLock(&vnic->lock, irql);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    vnic->counters.writes++;
    KeReleaseSpinLock(&vnic->lock, irql);
    if (take) {
        /* A waiting network process gets the message straight away. */
        RtlCopyMemory(take->AssociatedIrp.SystemBuffer, bytes, length);
        Complete(take, STATUS_SUCCESS, length);
    }
    return STATUS_SUCCESS;
}

static NTSTATUS NTAPI DispatchWrite(PDEVICE_OBJECT device, PIRP irp) {
    ULONG length = IoGetCurrentIrpStackLocation(irp)->Parameters.Write.Length;
    NTSTATUS status = Deliver(device->DeviceExtension, irp->AssociatedIrp.SystemBuffer, length);
    return Complete(irp, status, NT_SUCCESS(status) ? length : 0);
}

static NTSTATUS Take(Vnic* vnic, PIRP irp, ULONG outputLength) {
    VnicMessage* front;
    ULONG length;
    KIRQL irql;
    if (outputLength < VNIC_MESSAGE_MAX)
        return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
    KeAcquireSpinLock(&vnic->lock, &irql);
    front = QueueFront(&vnic->fromProgram);
    if (!front)
        return Park(vnic, &vnic->takeRequests, irp, irql);
    length = front->length;
    RtlCopyMemory(irp->AssociatedIrp.SystemBuffer, front->bytes, length);
    QueuePop(&vnic->fromProgram);
    KeReleaseSpinLock(&vnic->lock, irql);
    return Complete(irp, STATUS_SUCCESS, length);
}

static NTSTATUS Inject(Vnic* vnic, PIRP irp, ULONG inputLength) {
    LIST_ENTRY claimed;
    KIRQL irql;
    if (inputLength == 0 || inputLength > VNIC_MESSAGE_MAX)
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
    InitializeListHead(&claimed);
    KeAcquireSpinLock(&vnic->lock, &irql);
    if (!QueuePush(&vnic->toProgram, irp->AssociatedIrp.SystemBuffer, inputLength)) {
        KeReleaseSpinLock(&vnic->lock, irql);
        return Complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
    }
    ClaimAll(&vnic->arrivalReads, NULL, &claimed);
    SignalAttached(vnic);
    KeReleaseSpinLock(&vnic->lock, irql);
    CompleteAll(&claimed, STATUS_SUCCESS);
    return Complete(irp, STATUS_SUCCESS, 0);
}

static ULONG ListLength(LIST_ENTRY* list) {
    ULONG count = 0;
    LIST_ENTRY* entry;
    for (entry = list->Flink; entry != list; entry = entry->Flink)
        count++;
    return count;
}

static NTSTATUS NTAPI DispatchControl(PDEVICE_OBJECT device, PIRP irp) {
    Vnic* vnic = device->DeviceExtension;
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    ULONG inputLength = stack->Parameters.DeviceIoControl.InputBufferLength;
    ULONG outputLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
    KIRQL irql;
    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_VNIC_TAKE:
        return Take(vnic, irp, outputLength);
    case IOCTL_VNIC_INJECT:
        return Inject(vnic, irp, inputLength);
    case IOCTL_VNIC_FLUSH:
        KeAcquireSpinLock(&vnic->lock, &irql);
        vnic->toProgram.count = 0;
        vnic->fromProgram.count = 0;
        ForgetOlderRecord(vnic);
        KeReleaseSpinLock(&vnic->lock, irql);
        return Complete(irp, STATUS_SUCCESS, 0);
    case IOCTL_VNIC_COUNTERS: {
        VnicCounters* out = irp->AssociatedIrp.SystemBuffer;
        if (outputLength < sizeof(VnicCounters))
            return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
        KeAcquireSpinLock(&vnic->lock, &irql);
        *out = vnic->counters;
        out->toProgram = vnic->toProgram.count;
        out->fromProgram = vnic->fromProgram.count;
        out->arrivalReads = ListLength(&vnic->arrivalReads);
        out->takeRequests = ListLength(&vnic->takeRequests);
        KeReleaseSpinLock(&vnic->lock, irql);
        return Complete(irp, STATUS_SUCCESS, sizeof(VnicCounters));
    }
    case IOCTL_VNIC_REFUSE: {
        const VnicRefusal* refusal = irp->AssociatedIrp.SystemBuffer;
        ULONG bit;
        if (inputLength < sizeof(VnicRefusal) || !VNIC_OLDER_FUNCTION(refusal->function))
            return Complete(irp, STATUS_INVALID_PARAMETER, 0);
        bit = 1u << refusal->function;
        KeAcquireSpinLock(&vnic->lock, &irql);
        vnic->refused = refusal->refused ? vnic->refused | bit : vnic->refused & ~bit;
        KeReleaseSpinLock(&vnic->lock, irql);
        return Complete(irp, STATUS_SUCCESS, 0);
    }
    default:
        return OlderRequest(vnic, irp);
    }
}

/* "\Device\VNICn" or "\DosDevices\VNICn" into `out` (room for 32). */
static void DeviceName(WCHAR* out, const WCHAR* prefix, int index) {
    int i = 0;
    while (*prefix)
        out[i++] = *prefix++;
    out[i++] = L'V';
    out[i++] = L'N';
    out[i++] = L'I';
    out[i++] = L'C';
    out[i++] = (WCHAR)(L'0' + index);
    out[i] = 0;
}

static VOID NTAPI DriverUnload(PDRIVER_OBJECT driver) {
    PDEVICE_OBJECT device = driver->DeviceObject;
    while (device) {
        PDEVICE_OBJECT next = device->NextDevice;
        Vnic* vnic = device->DeviceExtension;
        UNICODE_STRING link;
        LIST_ENTRY claimed;
        KIRQL irql;
        InitializeListHead(&claimed);
        KeAcquireSpinLock(&vnic->lock, &irql);
        ClaimAll(&vnic->arrivalReads, NULL, &claimed);
        ClaimAll(&vnic->takeRequests, NULL, &claimed);
        KeReleaseSpinLock(&vnic->lock, irql);
        CompleteAll(&claimed, STATUS_DEVICE_REMOVED);
        DetachEvents(vnic, NULL);
        if (vnic->linkName[0]) {
            RtlInitUnicodeString(&link, vnic->linkName);
            IoDeleteSymbolicLink(&link);
        }
        IoDeleteDevice(device);
        device = next;
    }
    DbgPrint("vnic: unloaded\n");
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    UNICODE_STRING wineOnly;
    int index;
    (void)registryPath;
    /* The older family's requests rely on Wine's copies of their buffers
       (vnic_older.c): only Wine's ntoskrnl has this entry point. */
    RtlInitUnicodeString(&wineOnly, L"wine_ntoskrnl_main_loop");
    if (!MmGetSystemRoutineAddress(&wineOnly))
        return STATUS_NOT_SUPPORTED;
    driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreate;
    driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchCleanupClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchCleanupClose;
    driver->MajorFunction[IRP_MJ_READ] = DispatchRead;
    driver->MajorFunction[IRP_MJ_WRITE] = DispatchWrite;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchControl;
    driver->DriverUnload = DriverUnload;
    FindEventType();
    for (index = 0; index < VNIC_DEVICE_COUNT; index++) {
        WCHAR deviceName[32];
        UNICODE_STRING name, link;
        PDEVICE_OBJECT device;
        Vnic* vnic;
        NTSTATUS status;
        DeviceName(deviceName, L"\\Device\\", index);
        RtlInitUnicodeString(&name, deviceName);
        status =
            IoCreateDevice(driver, sizeof(Vnic), &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
        if (!NT_SUCCESS(status)) {
            DriverUnload(driver);
            return status;
        }
        vnic = device->DeviceExtension;
        RtlZeroMemory(vnic, sizeof(Vnic));
        KeInitializeSpinLock(&vnic->lock);
        InitializeListHead(&vnic->arrivalReads);
        InitializeListHead(&vnic->takeRequests);
        ForgetOlderRecord(vnic);
        DeviceName(vnic->linkName, L"\\DosDevices\\", index);
        RtlInitUnicodeString(&link, vnic->linkName);
        status = IoCreateSymbolicLink(&link, &name);
        if (!NT_SUCCESS(status)) {
            vnic->linkName[0] = 0;
            DriverUnload(driver);
            return status;
        }
        device->Flags |= DO_BUFFERED_IO;
        device->Flags &= ~DO_DEVICE_INITIALIZING;
    }
    DbgPrint("vnic: loaded, %d devices\n", VNIC_DEVICE_COUNT);
    return STATUS_SUCCESS;
}
