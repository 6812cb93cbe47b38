/* vnic.sys's own declarations, shared by its two parts: the device and the
   requests of the NT family (vnic.c), and the numbered control requests of
   the older platform family (vnic_older.c). */
#ifndef VNIC_H
#define VNIC_H
#include <ntifs.h>
#include "vnic_ioctl.h"

/* Files of one device that can have an event attached at the same time. */
#define VNIC_ATTACHMENTS 16

typedef struct VnicMessage {
    USHORT length;
    UCHAR bytes[VNIC_MESSAGE_MAX];
} VnicMessage;

typedef struct VnicQueue {
    ULONG head;
    ULONG count;
    VnicMessage slots[VNIC_QUEUE_SIZE];
} VnicQueue;

/* An event handed over with the older family's set-event request, held by a
   reference for as long as it stays attached. */
typedef struct VnicAttachment {
    PFILE_OBJECT file; /* the file that attached it; NULL: the entry is free */
    PKEVENT event;
} VnicAttachment;

/* The device extension. Everything in it is guarded by `lock`. */
typedef struct Vnic {
    KSPIN_LOCK lock;
    VnicQueue toProgram;   /* injected by the network, read by the program */
    VnicQueue fromProgram; /* written by the program, taken by the network */
    LIST_ENTRY arrivalReads;
    LIST_ENTRY takeRequests;
    VnicCounters counters;
    VnicAttachment attachments[VNIC_ATTACHMENTS];
    ULONG refused; /* bit n set: the older family's function n is refused */
    WCHAR linkName[32];
} Vnic;

/* vnic.c */
NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information);
/* Moves the next message for the program into `out`: success with its length
   in *delivered, or with 0 when none waits; STATUS_BUFFER_TOO_SMALL leaves a
   message longer than `capacity` waiting. Never waits. */
NTSTATUS NextMessage(Vnic* vnic, UCHAR* out, ULONG capacity, ULONG* delivered);
/* Takes one whole message that the program wrote, for the network. */
NTSTATUS Deliver(Vnic* vnic, const UCHAR* bytes, ULONG length);

/* vnic_older.c */
/* At load: finds what the set-event request needs from the system. */
void FindEventType(void);
/* A control request that is none of the IOCTL_VNIC_* codes. */
NTSTATUS OlderRequest(Vnic* vnic, PIRP irp);
/* Under the lock: a message has come for the program. */
void SignalAttached(Vnic* vnic);
/* Releases the event that `file` attached, or every one when it is NULL.
   Not under the lock. */
void DetachEvents(Vnic* vnic, PFILE_OBJECT file);
/* Under the lock: ends every refusal and forgets the older-family record. */
void ForgetOlderRecord(Vnic* vnic);

#endif
