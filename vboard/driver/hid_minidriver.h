/* What a HID minidriver needs of hidclass. MinGW has no hidport.h, and its ddk/hidclass.h numbers
 * the minidriver IOCTLs 0 to 5 where hidclass expects HID_CTL_CODE values, so both are here. */
#pragma once

#include <ddk/wdm.h>

#define VB_HID_CTL_CODE(id) CTL_CODE(FILE_DEVICE_KEYBOARD, (id), METHOD_NEITHER, FILE_ANY_ACCESS)
#define VB_IOCTL_HID_GET_DEVICE_DESCRIPTOR VB_HID_CTL_CODE(0)
#define VB_IOCTL_HID_GET_REPORT_DESCRIPTOR VB_HID_CTL_CODE(1)
#define VB_IOCTL_HID_READ_REPORT VB_HID_CTL_CODE(2)
#define VB_IOCTL_HID_WRITE_REPORT VB_HID_CTL_CODE(3)
#define VB_IOCTL_HID_GET_STRING VB_HID_CTL_CODE(4)
#define VB_IOCTL_HID_ACTIVATE_DEVICE VB_HID_CTL_CODE(7)
#define VB_IOCTL_HID_DEACTIVATE_DEVICE VB_HID_CTL_CODE(8)
#define VB_IOCTL_HID_GET_DEVICE_ATTRIBUTES VB_HID_CTL_CODE(9)

#define VB_HID_REVISION 1
#define VB_HID_HID_DESCRIPTOR_TYPE 0x21
#define VB_HID_REPORT_DESCRIPTOR_TYPE 0x22

/* What hidclass keeps at the start of a functional device object's extension. */
typedef struct {
    PDEVICE_OBJECT PhysicalDeviceObject;
    PDEVICE_OBJECT NextDeviceObject;
    PVOID MiniDeviceExtension;
} VB_HID_DEVICE_EXTENSION;

typedef struct {
    ULONG Size;
    USHORT VendorID;
    USHORT ProductID;
    USHORT VersionNumber;
    USHORT Reserved[11];
} VB_HID_DEVICE_ATTRIBUTES;

#pragma pack(push, 1)
typedef struct {
    UCHAR bLength;
    UCHAR bDescriptorType;
    USHORT bcdHID;
    UCHAR bCountry;
    UCHAR bNumDescriptors;
    struct {
        UCHAR bReportType;
        USHORT wReportLength;
    } DescriptorList[1];
} VB_HID_DESCRIPTOR;
#pragma pack(pop)

typedef struct {
    PUCHAR reportBuffer;
    ULONG reportBufferLen;
    UCHAR reportId;
} VB_HID_XFER_PACKET;

typedef struct {
    ULONG Revision;
    PDRIVER_OBJECT DriverObject;
    PUNICODE_STRING RegistryPath;
    ULONG DeviceExtensionSize;
    BOOLEAN DevicesArePolled;
    UCHAR Reserved[3];
} VB_HID_MINIDRIVER_REGISTRATION;

NTSTATUS NTAPI HidRegisterMinidriver(VB_HID_MINIDRIVER_REGISTRATION* registration);
