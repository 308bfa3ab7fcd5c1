/* The control channel between the relay driver (vboard.sys) and the board program (vboard.exe),
 * shared by both sides. The board program opens kVboardControlPath and, for the model it serves
 * (named by its product id), hands input reports over and takes output reports, one at a time. */
#pragma once

#define VBOARD_CONTROL_DEVICE_NAME L"\\Device\\VBoardControl"
#define VBOARD_CONTROL_LINK_NAME L"\\DosDevices\\VBoardControl"
#define VBOARD_CONTROL_PATH L"\\\\.\\VBoardControl"

#define VBOARD_REPORT_DATA_SIZE 64

/* Input: struct vboard_input. Completes once hidclass has taken the report, so it stays pending
 * while nobody reads; fails with ERROR_DEVICE_NOT_CONNECTED while the model's node is not
 * plugged. */
#define IOCTL_VBOARD_PUT_INPUT \
    CTL_CODE(FILE_DEVICE_UNKNOWN, 0x801, METHOD_BUFFERED, FILE_ANY_ACCESS)
/* Input: struct vboard_model; output: the 64 data bytes of one output report. Completes when a
 * program writes a report to the model; the write completes at the same moment. */
#define IOCTL_VBOARD_TAKE_OUTPUT \
    CTL_CODE(FILE_DEVICE_UNKNOWN, 0x802, METHOD_BUFFERED, FILE_ANY_ACCESS)

struct vboard_model {
    unsigned long productId;
};

struct vboard_input {
    unsigned long productId;
    unsigned char data[VBOARD_REPORT_DATA_SIZE];
};
