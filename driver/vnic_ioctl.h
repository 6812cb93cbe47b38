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
/* No input: empties both queues, ends every refusal and forgets the
   older-family record (olderRequests, the indexes and signals below). */
#define IOCTL_VNIC_FLUSH VNIC_CTL(2)
/* Output: a VnicCounters record. */
#define IOCTL_VNIC_COUNTERS VNIC_CTL(3)
/* Input: a VnicRefusal. While on, the device fails every request of that
   older-family function with STATUS_DEVICE_NOT_READY (ERROR_NOT_READY). */
#define IOCTL_VNIC_REFUSE VNIC_CTL(4)

/* The older platform family's requests: control code (deviceIndex << 16) |
   function, each function with the buffer method that its low two bits give. */
#define VNIC_OLDER_OPEN 1       /* METHOD_IN_DIRECT, no buffers */
#define VNIC_OLDER_CLOSE 2      /* METHOD_OUT_DIRECT, no buffers; detaches the event */
#define VNIC_OLDER_SET_EVENT 7  /* METHOD_NEITHER, input: a 4-byte event handle, 0 detaches */
#define VNIC_OLDER_READ 10      /* METHOD_OUT_DIRECT, output: one message or 0 bytes */
#define VNIC_OLDER_WRITE 11     /* METHOD_NEITHER, input: one message; output: the same bytes */
#define VNIC_OLDER_FUNCTIONS 12 /* olderRequests counts them by number, 0..11 */
/* Whether n is one of those functions: bits 1, 2, 7, 10 and 11. */
#define VNIC_OLDER_FUNCTION(n) ((n) < VNIC_OLDER_FUNCTIONS && ((0xC86u >> (n)) & 1u))

typedef struct VnicRefusal {
    unsigned int function; /* one of VNIC_OLDER_* */
    unsigned int refused;  /* non-zero: refuse it; 0: serve it again */
} VnicRefusal;

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
    /* Older-family requests received (refused ones too), by function number;
       the numbers that are no function stay 0. */
    unsigned int olderRequests[VNIC_OLDER_FUNCTIONS];
    unsigned int lowestIndex;  /* device indexes in their codes (0xFFFFFFFF, */
    unsigned int highestIndex; /* and 0, before the first request) */
    unsigned int attached;     /* file objects with an event attached (function 7) */
    unsigned int signals;      /* attached events signalled when a message came */
} VnicCounters;

#endif
