/* vboard.sys: the trainer's interface board inside the system's HID stack, with no behaviour of
 * its own. hidclass serves the board's device nodes (one per model) to every program; this
 * driver only pairs hidclass's transfers with the board program's: an input report the board
 * program puts completes hidclass's pending read, and a report a program writes completes the
 * board program's pending take. Whatever has no partner yet waits, so a silent board leaves
 * reads pending and a board that takes nothing leaves writes pending, as a real one does.
 *
 * hidclass owns the driver object's dispatch table once registered and takes every device object
 * of this driver for one of its own; the control device of the board program would be handed to
 * hidclass's routines too. So the table is wrapped after registration: the control device is
 * served here, every other device object goes on to the routine hidclass put there. */
#include "hid_minidriver.h"
#include "vboard_control.h"

#define VENDOR_ID 0x4973
#define VERSION_NUMBER 0x0300
#define HID_STRING_ID_MANUFACTURER 14
#define HID_STRING_ID_PRODUCT 15
#define HID_STRING_ID_SERIAL_NUMBER 16
#define MOST_WRITES_IN_FLIGHT 16

/* One vendor-defined collection; 64 data bytes each way, no report ids, so programs transfer
 * 65 bytes: id 0 and the 64. */
static const UCHAR report_descriptor[] = {
    0x06, 0x00, 0xFF, /* usage page (vendor defined 0xFF00) */
    0x09, 0x01,       /* usage 1 */
    0xA1, 0x01,       /* collection (application) */
    0x09, 0x02,       /*   usage 2 */
    0x15, 0x00,       /*   logical minimum 0 */
    0x26, 0xFF, 0x00, /*   logical maximum 255 */
    0x75, 0x08,       /*   report size 8 */
    0x95, 0x40,       /*   report count 64 */
    0x81, 0x02,       /*   input (data, variable, absolute) */
    0x09, 0x03,       /*   usage 3 */
    0x91, 0x02,       /*   output (data, variable, absolute) */
    0xC0,             /* end collection */
};

/* One board model. Every list and field is guarded by the one lock below. */
struct board {
    USHORT product_id;
    const WCHAR* name;
    PDEVICE_OBJECT fdo;      /* hidclass's functional device object, until it is removed */
    BOOLEAN plugged;         /* from AddDevice until the node starts going */
    LIST_ENTRY hid_reads;    /* hidclass's reads waiting for an input report */
    LIST_ENTRY hid_writes;   /* hidclass's writes waiting for the board program */
    LIST_ENTRY board_inputs; /* the board program's reports waiting for a read */
    LIST_ENTRY board_takes;  /* the board program's takes waiting for a write */
};

/* A program's write as hidclass received it, and hidclass's own write to this driver that it made
 * of it. hidclass sets no cancel routine on the program's write, so CancelIo would not end it
 * while the board takes nothing; this driver sets one and ends hidclass's write, which hidclass
 * then passes back to the program's as cancelled. */
struct write_in_flight {
    PIRP program_write; /* null: the record is free */
    PUCHAR buffer;      /* the program's report, which hidclass's write points into */
    PIRP hid_write;     /* null until hidclass's write has arrived */
    BOOLEAN cancelled;
};

struct fdo_extension {
    struct board* board;
};

static KSPIN_LOCK lock;
static struct board boards[] = {
    {0x0010, L"HBV7", NULL, FALSE, {0}, {0}, {0}, {0}},
    {0x000F, L"HBV5", NULL, FALSE, {0}, {0}, {0}, {0}},
};
#define BOARD_COUNT (sizeof boards / sizeof boards[0])
static struct write_in_flight writes[MOST_WRITES_IN_FLIGHT];
static PDEVICE_OBJECT control_device;
static UNICODE_STRING control_link;
static PDRIVER_DISPATCH hidclass_dispatch[IRP_MJ_MAXIMUM_FUNCTION + 1];

static NTSTATUS complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static BOOLEAN is_fdo(PDEVICE_OBJECT device) {
    for (ULONG i = 0; i < BOARD_COUNT; ++i) {
        if (boards[i].fdo == device) return TRUE;
    }
    return FALSE;
}

static struct board* board_of_product(ULONG product_id) {
    for (ULONG i = 0; i < BOARD_COUNT; ++i) {
        if (boards[i].product_id == product_id) return &boards[i];
    }
    return NULL;
}

static struct write_in_flight* write_of_program(PIRP program_write) {
    for (ULONG i = 0; i < MOST_WRITES_IN_FLIGHT; ++i) {
        if (writes[i].program_write && writes[i].program_write == program_write) return &writes[i];
    }
    return NULL;
}

static struct write_in_flight* write_of_hid(PIRP hid_write) {
    for (ULONG i = 0; i < MOST_WRITES_IN_FLIGHT; ++i) {
        if (writes[i].program_write && writes[i].hid_write == hid_write) return &writes[i];
    }
    return NULL;
}

/* Under the lock: the program's write is about to complete through hidclass, so it must not be
 * cancelled by this driver any more. */
static void forget_write(struct write_in_flight* write) {
    IoSetCancelRoutine(write->program_write, NULL);
    write->program_write = NULL;
    write->hid_write = NULL;
}

/* ---- Waiting transfers ---- */

static void cancel_waiting(PDEVICE_OBJECT device, PIRP irp) {
    KIRQL irql;
    (void)device;
    IoReleaseCancelSpinLock(irp->CancelIrql);
    KeAcquireSpinLock(&lock, &irql);
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    InitializeListHead(&irp->Tail.Overlay.ListEntry);
    struct write_in_flight* write = write_of_hid(irp);
    if (write) forget_write(write);
    KeReleaseSpinLock(&lock, irql);
    complete(irp, STATUS_CANCELLED, 0);
}

/* Under the lock: the transfer waits in the list, unless it was cancelled before it could; then
 * it is returned, for the caller to complete once the lock is released. */
static PIRP wait_in(LIST_ENTRY* list, PIRP irp) {
    IoMarkIrpPending(irp);
    InsertTailList(list, &irp->Tail.Overlay.ListEntry);
    IoSetCancelRoutine(irp, cancel_waiting);
    /* Cancelled before the routine was set: no one else will end it. */
    if (irp->Cancel && IoSetCancelRoutine(irp, NULL)) {
        RemoveEntryList(&irp->Tail.Overlay.ListEntry);
        return irp;
    }
    return NULL;
}

/* Releases the lock, then completes a transfer that was cancelled before it could wait. */
static NTSTATUS waiting(KIRQL irql, PIRP cancelled) {
    KeReleaseSpinLock(&lock, irql);
    if (cancelled) complete(cancelled, STATUS_CANCELLED, 0);
    return STATUS_PENDING;
}

/* Under the lock: the first waiting transfer that is not being cancelled, taken off the list. */
static PIRP take_waiting(LIST_ENTRY* list) {
    while (!IsListEmpty(list)) {
        LIST_ENTRY* entry = RemoveHeadList(list);
        PIRP irp = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
        /* The cancel routine, already running, removes the entry again: leave it linked to
         * itself. */
        InitializeListHead(entry);
        if (IoSetCancelRoutine(irp, NULL)) return irp;
    }
    return NULL;
}

/* Under the lock: every waiting transfer of the list moves to ended. */
static void take_all_waiting(LIST_ENTRY* list, LIST_ENTRY* ended) {
    PIRP irp;
    while ((irp = take_waiting(list)) != NULL) {
        InsertTailList(ended, &irp->Tail.Overlay.ListEntry);
    }
}

static void complete_all(LIST_ENTRY* ended, NTSTATUS status) {
    while (!IsListEmpty(ended)) {
        PIRP irp = CONTAINING_RECORD(RemoveHeadList(ended), IRP, Tail.Overlay.ListEntry);
        complete(irp, status, 0);
    }
}

/* ---- The relay ---- */

static void hand_over_input(PIRP board_input, PIRP hid_read) {
    const struct vboard_input* input = board_input->AssociatedIrp.SystemBuffer;
    RtlCopyMemory(hid_read->UserBuffer, input->data, VBOARD_REPORT_DATA_SIZE);
    complete(hid_read, STATUS_SUCCESS, VBOARD_REPORT_DATA_SIZE);
    complete(board_input, STATUS_SUCCESS, 0);
}

static PUCHAR report_of_hid_write(PIRP hid_write) {
    const VB_HID_XFER_PACKET* packet = hid_write->UserBuffer;
    return packet->reportBuffer;
}

static void hand_over_output(PIRP hid_write, PIRP board_take) {
    RtlCopyMemory(board_take->AssociatedIrp.SystemBuffer, report_of_hid_write(hid_write),
                  VBOARD_REPORT_DATA_SIZE);
    complete(board_take, STATUS_SUCCESS, VBOARD_REPORT_DATA_SIZE);
    /* The program wrote the report id as well: it is told that all of it went. */
    complete(hid_write, STATUS_SUCCESS, VBOARD_REPORT_DATA_SIZE + 1);
}

static NTSTATUS hid_read(struct board* board, PIRP irp) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    KIRQL irql;
    if (stack->Parameters.DeviceIoControl.OutputBufferLength < VBOARD_REPORT_DATA_SIZE ||
        !irp->UserBuffer) {
        return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
    }
    KeAcquireSpinLock(&lock, &irql);
    if (!board->plugged) {
        KeReleaseSpinLock(&lock, irql);
        return complete(irp, STATUS_DELETE_PENDING, 0);
    }
    PIRP input = take_waiting(&board->board_inputs);
    if (!input) return waiting(irql, wait_in(&board->hid_reads, irp));
    KeReleaseSpinLock(&lock, irql);
    hand_over_input(input, irp);
    return STATUS_SUCCESS;
}

static NTSTATUS hid_write(struct board* board, PIRP irp) {
    const VB_HID_XFER_PACKET* packet = irp->UserBuffer;
    KIRQL irql;
    if (!packet || !packet->reportBuffer || packet->reportBufferLen < VBOARD_REPORT_DATA_SIZE) {
        return complete(irp, STATUS_INVALID_PARAMETER, 0);
    }
    KeAcquireSpinLock(&lock, &irql);
    struct write_in_flight* write = NULL;
    for (ULONG i = 0; i < MOST_WRITES_IN_FLIGHT && !write; ++i) {
        if (writes[i].program_write && !writes[i].hid_write &&
            (packet->reportBuffer == writes[i].buffer ||
             packet->reportBuffer == writes[i].buffer + 1)) {
            write = &writes[i];
        }
    }
    if (write && write->cancelled) {
        forget_write(write);
        KeReleaseSpinLock(&lock, irql);
        return complete(irp, STATUS_CANCELLED, 0);
    }
    if (!board->plugged) {
        if (write) forget_write(write);
        KeReleaseSpinLock(&lock, irql);
        return complete(irp, STATUS_DELETE_PENDING, 0);
    }
    PIRP take = take_waiting(&board->board_takes);
    if (!take) {
        PIRP cancelled = wait_in(&board->hid_writes, irp);
        if (write && !cancelled) write->hid_write = irp;
        if (write && cancelled) forget_write(write);
        return waiting(irql, cancelled);
    }
    if (write) forget_write(write);
    KeReleaseSpinLock(&lock, irql);
    hand_over_output(irp, take);
    return STATUS_SUCCESS;
}

static NTSTATUS board_put_input(struct board* board, PIRP irp) {
    KIRQL irql;
    KeAcquireSpinLock(&lock, &irql);
    if (!board->plugged) {
        KeReleaseSpinLock(&lock, irql);
        return complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
    }
    PIRP read = take_waiting(&board->hid_reads);
    if (!read) return waiting(irql, wait_in(&board->board_inputs, irp));
    KeReleaseSpinLock(&lock, irql);
    hand_over_input(irp, read);
    return STATUS_SUCCESS;
}

static NTSTATUS board_take_output(struct board* board, PIRP irp) {
    KIRQL irql;
    KeAcquireSpinLock(&lock, &irql);
    if (!board->plugged) {
        KeReleaseSpinLock(&lock, irql);
        return complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
    }
    PIRP write_irp = take_waiting(&board->hid_writes);
    if (!write_irp) return waiting(irql, wait_in(&board->board_takes, irp));
    struct write_in_flight* write = write_of_hid(write_irp);
    if (write) forget_write(write);
    KeReleaseSpinLock(&lock, irql);
    hand_over_output(write_irp, irp);
    return STATUS_SUCCESS;
}

/* The node is going: everything waiting on either side of the model ends, and nothing waits any
 * more. At its removal hidclass's device object is gone as well. */
static void unplug(struct board* board, PDEVICE_OBJECT fdo, BOOLEAN removed) {
    LIST_ENTRY hid_ended, board_ended;
    KIRQL irql;
    InitializeListHead(&hid_ended);
    InitializeListHead(&board_ended);
    KeAcquireSpinLock(&lock, &irql);
    if (board->fdo == fdo) {
        board->plugged = FALSE;
        if (removed) board->fdo = NULL;
    }
    take_all_waiting(&board->hid_reads, &hid_ended);
    PIRP write_irp;
    while ((write_irp = take_waiting(&board->hid_writes)) != NULL) {
        struct write_in_flight* write = write_of_hid(write_irp);
        if (write) forget_write(write);
        InsertTailList(&hid_ended, &write_irp->Tail.Overlay.ListEntry);
    }
    take_all_waiting(&board->board_inputs, &board_ended);
    take_all_waiting(&board->board_takes, &board_ended);
    KeReleaseSpinLock(&lock, irql);
    complete_all(&hid_ended, STATUS_DELETE_PENDING);
    complete_all(&board_ended, STATUS_DEVICE_NOT_CONNECTED);
}

/* hidclass's reading thread waits for its read without looking at its stop event: reads end
 * here, for every model, since a collection's device object does not say which node it is on.
 * A read of a model that stays plugged just fails once and is made again. */
static void end_hid_reads(void) {
    LIST_ENTRY ended;
    KIRQL irql;
    InitializeListHead(&ended);
    KeAcquireSpinLock(&lock, &irql);
    for (ULONG i = 0; i < BOARD_COUNT; ++i) take_all_waiting(&boards[i].hid_reads, &ended);
    KeReleaseSpinLock(&lock, irql);
    complete_all(&ended, STATUS_DEVICE_NOT_CONNECTED);
}

/* ---- The program's writes, for CancelIo ---- */

static void cancel_program_write(PDEVICE_OBJECT device, PIRP program_write) {
    KIRQL irql;
    (void)device;
    IoReleaseCancelSpinLock(program_write->CancelIrql);
    KeAcquireSpinLock(&lock, &irql);
    struct write_in_flight* write = write_of_program(program_write);
    PIRP hid_write_irp = NULL;
    if (write) {
        write->cancelled = TRUE;
        if (write->hid_write && IoSetCancelRoutine(write->hid_write, NULL)) {
            hid_write_irp = write->hid_write;
            RemoveEntryList(&hid_write_irp->Tail.Overlay.ListEntry);
            InitializeListHead(&hid_write_irp->Tail.Overlay.ListEntry);
            write->program_write = NULL;
            write->hid_write = NULL;
        }
    }
    KeReleaseSpinLock(&lock, irql);
    /* hidclass completes the program's write with this status. */
    if (hid_write_irp) complete(hid_write_irp, STATUS_CANCELLED, 0);
}

static NTSTATUS collection_write(PDEVICE_OBJECT device, PIRP irp) {
    KIRQL irql;
    KeAcquireSpinLock(&lock, &irql);
    struct write_in_flight* write = NULL;
    for (ULONG i = 0; i < MOST_WRITES_IN_FLIGHT && !write; ++i) {
        if (!writes[i].program_write) write = &writes[i];
    }
    if (write) {
        write->program_write = irp;
        write->buffer = irp->AssociatedIrp.SystemBuffer;
        write->hid_write = NULL;
        write->cancelled = FALSE;
    }
    KeReleaseSpinLock(&lock, irql);

    NTSTATUS status = hidclass_dispatch[IRP_MJ_WRITE](device, irp);

    KeAcquireSpinLock(&lock, &irql);
    /* Still recorded: the write waits, and only this driver ends it. */
    if (write && write->program_write == irp) {
        if (status != STATUS_PENDING || !write->hid_write) {
            write->program_write = NULL;
        } else {
            IoSetCancelRoutine(irp, cancel_program_write);
            if (irp->Cancel && IoSetCancelRoutine(irp, NULL)) {
                KeReleaseSpinLock(&lock, irql);
                IoAcquireCancelSpinLock(&irp->CancelIrql);
                cancel_program_write(device, irp);
                return status;
            }
        }
    }
    KeReleaseSpinLock(&lock, irql);
    return status;
}

/* ---- hidclass's requests to the minidriver ---- */

static NTSTATUS copy_out(PIRP irp, const void* data, ULONG size) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    if (!irp->UserBuffer || stack->Parameters.DeviceIoControl.OutputBufferLength < size) {
        return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
    }
    RtlCopyMemory(irp->UserBuffer, data, size);
    return complete(irp, STATUS_SUCCESS, size);
}

static ULONG text_length(const WCHAR* text) {
    ULONG length = 0;
    while (text[length]) ++length;
    return length;
}

static NTSTATUS get_string(struct board* board, PIRP irp) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    const USHORT id = (USHORT)(ULONG_PTR)stack->Parameters.DeviceIoControl.Type3InputBuffer;
    WCHAR text[48];
    const WCHAR* pieces[2] = {NULL, NULL};
    switch (id) {
        case HID_STRING_ID_MANUFACTURER: pieces[0] = L"trimdesk"; break;
        case HID_STRING_ID_PRODUCT:
            pieces[0] = L"Virtual trainer board ";
            pieces[1] = board->name;
            break;
        case HID_STRING_ID_SERIAL_NUMBER: pieces[0] = L"vboard"; break;
        default: return complete(irp, STATUS_INVALID_PARAMETER, 0);
    }
    ULONG length = 0;
    for (int i = 0; i < 2 && pieces[i]; ++i) {
        const ULONG piece = text_length(pieces[i]);
        RtlCopyMemory(text + length, pieces[i], piece * sizeof(WCHAR));
        length += piece;
    }
    text[length++] = 0;
    return copy_out(irp, text, length * sizeof(WCHAR));
}

static NTSTATUS internal_device_control(PDEVICE_OBJECT device, PIRP irp) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    /* The collection's device object is hidclass's, with an extension of its own. */
    if (!is_fdo(device)) return complete(irp, STATUS_NOT_SUPPORTED, 0);
    const VB_HID_DEVICE_EXTENSION* hid = device->DeviceExtension;
    struct board* board = ((struct fdo_extension*)hid->MiniDeviceExtension)->board;

    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
        case VB_IOCTL_HID_GET_DEVICE_DESCRIPTOR: {
            VB_HID_DESCRIPTOR descriptor = {
                sizeof(VB_HID_DESCRIPTOR),
                VB_HID_HID_DESCRIPTOR_TYPE,
                0x0111,
                0,
                1,
                {{VB_HID_REPORT_DESCRIPTOR_TYPE, sizeof report_descriptor}}};
            return copy_out(irp, &descriptor, sizeof descriptor);
        }
        case VB_IOCTL_HID_GET_REPORT_DESCRIPTOR:
            return copy_out(irp, report_descriptor, sizeof report_descriptor);
        case VB_IOCTL_HID_GET_DEVICE_ATTRIBUTES: {
            VB_HID_DEVICE_ATTRIBUTES attributes = {
                sizeof attributes, VENDOR_ID, board->product_id, VERSION_NUMBER, {0}};
            return copy_out(irp, &attributes, sizeof attributes);
        }
        case VB_IOCTL_HID_GET_STRING: return get_string(board, irp);
        case VB_IOCTL_HID_READ_REPORT: return hid_read(board, irp);
        case VB_IOCTL_HID_WRITE_REPORT: return hid_write(board, irp);
        case VB_IOCTL_HID_ACTIVATE_DEVICE:
        case VB_IOCTL_HID_DEACTIVATE_DEVICE: return complete(irp, STATUS_SUCCESS, 0);
        default: return complete(irp, STATUS_NOT_SUPPORTED, 0);
    }
}

/* hidclass hands on the PnP requests of the functional device object. */
static NTSTATUS fdo_pnp(PDEVICE_OBJECT device, PIRP irp) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    const VB_HID_DEVICE_EXTENSION* hid = device->DeviceExtension;
    struct board* board = ((struct fdo_extension*)hid->MiniDeviceExtension)->board;
    switch (stack->MinorFunction) {
        case IRP_MN_SURPRISE_REMOVAL:
        case IRP_MN_REMOVE_DEVICE:
            unplug(board, device, stack->MinorFunction == IRP_MN_REMOVE_DEVICE);
            irp->IoStatus.Status = STATUS_SUCCESS;
            break;
        case IRP_MN_START_DEVICE:
        case IRP_MN_QUERY_REMOVE_DEVICE:
        case IRP_MN_CANCEL_REMOVE_DEVICE:
        case IRP_MN_QUERY_STOP_DEVICE:
        case IRP_MN_CANCEL_STOP_DEVICE:
        case IRP_MN_STOP_DEVICE: irp->IoStatus.Status = STATUS_SUCCESS; break;
        default: break;
    }
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(hid->NextDeviceObject, irp);
}

static BOOLEAN names_model(const WCHAR* ids, ULONG chars, const WCHAR* model) {
    const ULONG length = text_length(model);
    for (ULONG at = 0; at + length <= chars; ++at) {
        ULONG i = 0;
        while (i < length && (ids[at + i] | 0x20) == (model[i] | 0x20)) ++i;
        if (i == length) return TRUE;
    }
    return FALSE;
}

/* The node's hardware id names the model: VBOARD\HBV7 or VBOARD\HBV5. */
static NTSTATUS add_device(PDRIVER_OBJECT driver, PDEVICE_OBJECT fdo) {
    VB_HID_DEVICE_EXTENSION* hid = fdo->DeviceExtension;
    struct fdo_extension* extension = hid->MiniDeviceExtension;
    WCHAR ids[128];
    ULONG size = 0;
    KIRQL irql;
    (void)driver;
    NTSTATUS status = IoGetDeviceProperty(hid->PhysicalDeviceObject, DevicePropertyHardwareID,
                                          sizeof ids - sizeof(WCHAR), ids, &size);
    if (!NT_SUCCESS(status)) return status;
    extension->board = NULL;
    for (ULONG i = 0; i < BOARD_COUNT && !extension->board; ++i) {
        if (names_model(ids, size / sizeof(WCHAR), boards[i].name)) extension->board = &boards[i];
    }
    if (!extension->board) return STATUS_NOT_SUPPORTED;
    KeAcquireSpinLock(&lock, &irql);
    const BOOLEAN taken = extension->board->fdo != NULL;
    if (!taken) {
        extension->board->fdo = fdo;
        extension->board->plugged = TRUE;
    }
    KeReleaseSpinLock(&lock, irql);
    return taken ? STATUS_DEVICE_ALREADY_ATTACHED : STATUS_SUCCESS;
}

/* ---- The control device, and the wrapped dispatch table ---- */

static NTSTATUS control_device_control(PIRP irp) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    const ULONG in = stack->Parameters.DeviceIoControl.InputBufferLength;
    const ULONG out = stack->Parameters.DeviceIoControl.OutputBufferLength;
    const struct vboard_model* model = irp->AssociatedIrp.SystemBuffer;
    struct board* board = in >= sizeof *model ? board_of_product(model->productId) : NULL;
    if (!board) return complete(irp, STATUS_INVALID_PARAMETER, 0);
    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
        case IOCTL_VBOARD_PUT_INPUT:
            if (in < sizeof(struct vboard_input)) return complete(irp, STATUS_INVALID_PARAMETER, 0);
            return board_put_input(board, irp);
        case IOCTL_VBOARD_TAKE_OUTPUT:
            if (out < VBOARD_REPORT_DATA_SIZE) return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
            return board_take_output(board, irp);
        default: return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
}

static NTSTATUS dispatch(PDEVICE_OBJECT device, PIRP irp) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    const UCHAR major = stack->MajorFunction;
    if (device == control_device) {
        switch (major) {
            case IRP_MJ_CREATE:
            case IRP_MJ_CLEANUP:
            case IRP_MJ_CLOSE: return complete(irp, STATUS_SUCCESS, 0);
            case IRP_MJ_DEVICE_CONTROL: return control_device_control(irp);
            default: return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
        }
    }
    /* A collection's device object, which hidclass made: */
    if (major == IRP_MJ_WRITE && !is_fdo(device)) return collection_write(device, irp);
    if (major == IRP_MJ_PNP && !is_fdo(device)) {
        const UCHAR minor = stack->MinorFunction;
        if (minor == IRP_MN_SURPRISE_REMOVAL) {
            /* hidclass sets its reader's stop event first, then the read ends. */
            NTSTATUS status = hidclass_dispatch[major](device, irp);
            end_hid_reads();
            return status;
        }
    }
    if (!hidclass_dispatch[major]) return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    return hidclass_dispatch[major](device, irp);
}

static void unload(PDRIVER_OBJECT driver) {
    (void)driver;
    IoDeleteSymbolicLink(&control_link);
    if (control_device) IoDeleteDevice(control_device);
    control_device = NULL;
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path) {
    KeInitializeSpinLock(&lock);
    for (ULONG i = 0; i < BOARD_COUNT; ++i) {
        InitializeListHead(&boards[i].hid_reads);
        InitializeListHead(&boards[i].hid_writes);
        InitializeListHead(&boards[i].board_inputs);
        InitializeListHead(&boards[i].board_takes);
    }
    driver->MajorFunction[IRP_MJ_PNP] = fdo_pnp;
    driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = internal_device_control;
    driver->DriverExtension->AddDevice = add_device;
    driver->DriverUnload = unload;

    VB_HID_MINIDRIVER_REGISTRATION registration = {0};
    registration.Revision = VB_HID_REVISION;
    registration.DriverObject = driver;
    registration.RegistryPath = registry_path;
    registration.DeviceExtensionSize = sizeof(struct fdo_extension);
    registration.DevicesArePolled = FALSE;
    NTSTATUS status = HidRegisterMinidriver(&registration);
    if (!NT_SUCCESS(status)) return status;

    for (ULONG major = 0; major <= IRP_MJ_MAXIMUM_FUNCTION; ++major) {
        hidclass_dispatch[major] = driver->MajorFunction[major];
        driver->MajorFunction[major] = dispatch;
    }

    UNICODE_STRING name;
    RtlInitUnicodeString(&name, VBOARD_CONTROL_DEVICE_NAME);
    RtlInitUnicodeString(&control_link, VBOARD_CONTROL_LINK_NAME);
    status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &control_device);
    if (!NT_SUCCESS(status)) return status;
    status = IoCreateSymbolicLink(&control_link, &name);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(control_device);
        control_device = NULL;
        return status;
    }
    control_device->Flags |= DO_BUFFERED_IO;
    control_device->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}
