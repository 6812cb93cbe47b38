/* Control path of the virtual interface driver (vnic.sys), shared by the
   driver and the user-mode programs that speak to it. Plain C, no includes. */
#ifndef VNIC_IOCTL_H
#define VNIC_IOCTL_H

/* Devices "\\.\VNIC0" .. "\\.\VNIC<VNIC_DEVICE_COUNT-1>". */
#define VNIC_DEVICE_COUNT 2
/* The largest message either way (the program reads 66 bytes at a time). */
#define VNIC_MESSAGE_MAX 66
/* Messages each queue holds; a write or inject beyond that fails. */
#define VNIC_QUEUE_SIZE 256

/* CTL_CODE(FILE_DEVICE_UNKNOWN, 0x800 + n, METHOD_BUFFERED, FILE_ANY_ACCESS),
   spelt out so that user code needs no driver headers. */
#define VNIC_CTL(n) ((0x22u << 16) | ((0x800u + (n)) << 2))

/* Output: the next message the program wrote (its bytes; the byte count is
   its length). Stays pending until there is one; cancellable. */
#define IOCTL_VNIC_TAKE VNIC_CTL(0)
/* Input: a message for the program to read (1..VNIC_MESSAGE_MAX bytes).
   Completes every pending zero-length read. */
#define IOCTL_VNIC_INJECT VNIC_CTL(1)
/* No input: empties both queues. */
#define IOCTL_VNIC_FLUSH VNIC_CTL(2)
/* Output: a VnicCounters record. */
#define IOCTL_VNIC_COUNTERS VNIC_CTL(3)

typedef struct VnicCounters {
    unsigned int openFiles;    /* file objects open on the device */
    unsigned int toProgram;    /* messages waiting for the program */
    unsigned int fromProgram;  /* written messages not yet taken */
    unsigned int arrivalReads; /* zero-length reads pending */
    unsigned int takeRequests; /* IOCTL_VNIC_TAKE requests pending */
    unsigned int writes;       /* writes accepted since load */
    unsigned int reads;        /* reads that delivered a message */
    unsigned int emptyReads;   /* reads that found nothing */
    unsigned int cancelled;    /* pending requests cancelled or closed */
} VnicCounters;

#endif
