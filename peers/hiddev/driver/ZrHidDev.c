/* A HID minidriver for a virtual device of a chosen profile. The HID class driver asks it for its
 * attributes and report descriptor and keeps one read request pending; the reports come from a
 * named section that a test or simulator fills (see HidDevFeed.h). Each root device installed with
 * this driver reads its profile from the "Profile" value of its hardware key. */

#include <ntddk.h>

#include "peers/hiddev/driver/HidDevProfiles.h"

/* The minidriver interface of the HID class driver, which the cross compiler's headers lack. */
#define ZR_HID_CTL_CODE(id) CTL_CODE(FILE_DEVICE_KEYBOARD, (id), METHOD_NEITHER, FILE_ANY_ACCESS)
#define ZR_IOCTL_HID_GET_DEVICE_DESCRIPTOR ZR_HID_CTL_CODE(0)
#define ZR_IOCTL_HID_GET_REPORT_DESCRIPTOR ZR_HID_CTL_CODE(1)
#define ZR_IOCTL_HID_READ_REPORT ZR_HID_CTL_CODE(2)
#define ZR_IOCTL_HID_WRITE_REPORT ZR_HID_CTL_CODE(3)
#define ZR_IOCTL_HID_GET_STRING ZR_HID_CTL_CODE(4)
#define ZR_IOCTL_HID_ACTIVATE_DEVICE ZR_HID_CTL_CODE(7)
#define ZR_IOCTL_HID_DEACTIVATE_DEVICE ZR_HID_CTL_CODE(8)
#define ZR_IOCTL_HID_GET_DEVICE_ATTRIBUTES ZR_HID_CTL_CODE(9)
#define ZR_HID_HID_DESCRIPTOR_TYPE 0x21
#define ZR_HID_REPORT_DESCRIPTOR_TYPE 0x22

typedef struct ZR_HID_MINIDRIVER_REGISTRATION {
  ULONG Revision;
  PDRIVER_OBJECT DriverObject;
  PUNICODE_STRING RegistryPath;
  ULONG DeviceExtensionSize;
  BOOLEAN DevicesArePolled;
  UCHAR Reserved[3];
} ZR_HID_MINIDRIVER_REGISTRATION;

typedef struct ZR_HID_DEVICE_EXTENSION {
  PDEVICE_OBJECT PhysicalDeviceObject;
  PDEVICE_OBJECT NextDeviceObject;
  PVOID MiniDeviceExtension;
} ZR_HID_DEVICE_EXTENSION;

typedef struct ZR_HID_DEVICE_ATTRIBUTES {
  ULONG Size;
  USHORT VendorID;
  USHORT ProductID;
  USHORT VersionNumber;
  USHORT Reserved[11];
} ZR_HID_DEVICE_ATTRIBUTES;

#pragma pack(push, 1)
typedef struct ZR_HID_DESCRIPTOR {
  UCHAR bLength;
  UCHAR bDescriptorType;
  USHORT bcdHID;
  UCHAR bCountry;
  UCHAR bNumDescriptors;
  struct {
    UCHAR bReportType;
    USHORT wReportLength;
  } DescriptorList[1];
} ZR_HID_DESCRIPTOR;
#pragma pack(pop)

NTSTATUS NTAPI HidRegisterMinidriver(ZR_HID_MINIDRIVER_REGISTRATION* registration);

/* Kernel calls the cross compiler's ntddk.h leaves out. */
NTSTATUS NTAPI ZwWaitForSingleObject(HANDLE handle, BOOLEAN alertable, PLARGE_INTEGER timeout);
NTSTATUS NTAPI ZwSetEvent(HANDLE event, PLONG previous);
NTSTATUS NTAPI ZwCreateEvent(PHANDLE event, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes,
                             EVENT_TYPE type, BOOLEAN initial);

/* How long a read request waits without a report before it is answered "not ready" and asked
 * again: the class driver's reader then gets a chance to notice that the device is going away. */
#define ZR_IDLE_READ_MS 100

typedef struct ZrHidDevice {
  ULONG profile;
  KSPIN_LOCK lock;
  LIST_ENTRY reads; /* pending IOCTL_HID_READ_REPORT requests, oldest first */
  BOOLEAN removed;
  HANDLE section;
  HANDLE event;
  ZrHidDevFeed* feed;
  HANDLE thread;
  volatile LONG stopping;
} ZrHidDevice;

static ZrHidDevice* DeviceOf(DEVICE_OBJECT* device) {
  return (ZrHidDevice*)((ZR_HID_DEVICE_EXTENSION*)device->DeviceExtension)->MiniDeviceExtension;
}

static DEVICE_OBJECT* NextOf(DEVICE_OBJECT* device) {
  return ((ZR_HID_DEVICE_EXTENSION*)device->DeviceExtension)->NextDeviceObject;
}

static IRP* PopRead(ZrHidDevice* dev) {
  KIRQL irql;
  IRP* irp = NULL;
  KeAcquireSpinLock(&dev->lock, &irql);
  if (!IsListEmpty(&dev->reads))
    irp = CONTAINING_RECORD(RemoveHeadList(&dev->reads), IRP, Tail.Overlay.ListEntry);
  KeReleaseSpinLock(&dev->lock, irql);
  return irp;
}

static void CompleteReads(ZrHidDevice* dev, NTSTATUS status) {
  IRP* irp;
  while ((irp = PopRead(dev))) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
  }
}

/* Hands waiting reports to waiting reads, in order. Only the feed thread takes from the ring. */
static void Drain(ZrHidDevice* dev) {
  ZrHidDevFeed* feed = dev->feed;
  while (feed->taken != feed->written) {
    IRP* irp = PopRead(dev);
    if (!irp) return;
    const ZrHidDevSlot* slot = &feed->slots[(ULONG)feed->taken % ZR_HIDDEV_FEED_SLOTS];
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    ULONG room = stack->Parameters.DeviceIoControl.OutputBufferLength;
    /* The section is writable by any program: a length it claims never reaches past the slot or
     * the class driver's buffer. */
    ULONG length = slot->length;
    if (length > ZR_HIDDEV_REPORT_MAX) length = ZR_HIDDEV_REPORT_MAX;
    if (length > room) length = room;
    RtlCopyMemory(irp->UserBuffer, (const void*)slot->bytes, length);
    irp->IoStatus.Information = length;
    irp->IoStatus.Status = STATUS_SUCCESS;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    InterlockedIncrement(&feed->taken);
  }
}

static VOID NTAPI FeedThread(PVOID context) {
  ZrHidDevice* dev = (ZrHidDevice*)context;
  while (!dev->stopping) {
    LARGE_INTEGER timeout;
    timeout.QuadPart = -10000LL * ZR_IDLE_READ_MS;
    NTSTATUS status = ZwWaitForSingleObject(dev->event, FALSE, &timeout);
    if (dev->stopping) break;
    Drain(dev);
    if (status == STATUS_TIMEOUT && dev->feed->taken == dev->feed->written)
      CompleteReads(dev, STATUS_DEVICE_NOT_READY);
  }
  PsTerminateSystemThread(STATUS_SUCCESS);
}

static void MakeName(UNICODE_STRING* string, WCHAR* buffer, USHORT size, const WCHAR* base, ULONG profile) {
  string->Buffer = buffer;
  string->Length = 0;
  string->MaximumLength = size;
  RtlAppendUnicodeToString(string, L"\\BaseNamedObjects\\");
  RtlAppendUnicodeToString(string, base);
  WCHAR digit[2] = {(WCHAR)(L'0' + profile), 0};
  RtlAppendUnicodeToString(string, digit);
}

static void CloseFeed(ZrHidDevice* dev) {
  if (dev->thread) {
    InterlockedExchange(&dev->stopping, 1);
    ZwSetEvent(dev->event, NULL);
    ZwWaitForSingleObject(dev->thread, FALSE, NULL);
    ZwClose(dev->thread);
    dev->thread = NULL;
  }
  if (dev->feed) {
    ZwUnmapViewOfSection(NtCurrentProcess(), dev->feed);
    dev->feed = NULL;
  }
  if (dev->section) {
    ZwClose(dev->section);
    dev->section = NULL;
  }
  if (dev->event) {
    ZwClose(dev->event);
    dev->event = NULL;
  }
}

static NTSTATUS OpenFeed(ZrHidDevice* dev) {
  WCHAR buffer[64];
  UNICODE_STRING name;
  OBJECT_ATTRIBUTES attributes;
  LARGE_INTEGER size;
  SIZE_T view = 0;
  NTSTATUS status;

  MakeName(&name, buffer, sizeof(buffer), ZR_HIDDEV_SECTION_NAME, dev->profile);
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_OPENIF, NULL, NULL);
  size.QuadPart = sizeof(ZrHidDevFeed);
  status = ZwCreateSection(&dev->section, SECTION_ALL_ACCESS, &attributes, &size, PAGE_READWRITE,
                           SEC_COMMIT, NULL);
  if (!NT_SUCCESS(status)) return status;
  PVOID base = NULL;
  status = ZwMapViewOfSection(dev->section, NtCurrentProcess(), &base, 0, 0, NULL, &view, ViewUnmap,
                              0, PAGE_READWRITE);
  if (!NT_SUCCESS(status)) return status;
  dev->feed = (ZrHidDevFeed*)base;

  MakeName(&name, buffer, sizeof(buffer), ZR_HIDDEV_EVENT_NAME, dev->profile);
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_OPENIF, NULL, NULL);
  status = ZwCreateEvent(&dev->event, EVENT_ALL_ACCESS, &attributes, SynchronizationEvent, FALSE);
  if (!NT_SUCCESS(status)) return status;

  /* Reports written while no device listened are old news: a start begins with an empty ring. */
  dev->feed->magic = ZR_HIDDEV_FEED_MAGIC;
  dev->feed->profile = dev->profile;
  InterlockedExchange(&dev->feed->taken, dev->feed->written);
  InterlockedIncrement(&dev->feed->generation);

  dev->stopping = 0;
  return PsCreateSystemThread(&dev->thread, THREAD_ALL_ACCESS, NULL, NULL, NULL, FeedThread, dev);
}

static NTSTATUS NTAPI DispatchPnp(DEVICE_OBJECT* device, IRP* irp) {
  ZrHidDevice* dev = DeviceOf(device);
  IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
  KIRQL irql;

  switch (stack->MinorFunction) {
    case IRP_MN_START_DEVICE: {
      NTSTATUS status = OpenFeed(dev);
      if (!NT_SUCCESS(status)) {
        DbgPrint("zrhiddev: the feed of profile %lu cannot be opened: %#lx\n", dev->profile, status);
        CloseFeed(dev);
        irp->IoStatus.Status = status;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        return status;
      }
      KeAcquireSpinLock(&dev->lock, &irql);
      dev->removed = FALSE;
      KeReleaseSpinLock(&dev->lock, irql);
      irp->IoStatus.Status = STATUS_SUCCESS;
      break;
    }
    case IRP_MN_SURPRISE_REMOVAL:
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_STOP_DEVICE:
    case IRP_MN_REMOVE_DEVICE:
      KeAcquireSpinLock(&dev->lock, &irql);
      dev->removed = TRUE;
      KeReleaseSpinLock(&dev->lock, irql);
      CompleteReads(dev, STATUS_DELETE_PENDING);
      if (stack->MinorFunction != IRP_MN_QUERY_REMOVE_DEVICE) CloseFeed(dev);
      irp->IoStatus.Status = STATUS_SUCCESS;
      break;
    case IRP_MN_CANCEL_REMOVE_DEVICE:
      KeAcquireSpinLock(&dev->lock, &irql);
      dev->removed = FALSE;
      KeReleaseSpinLock(&dev->lock, irql);
      irp->IoStatus.Status = STATUS_SUCCESS;
      break;
    default:
      break;
  }
  IoSkipCurrentIrpStackLocation(irp);
  return IoCallDriver(NextOf(device), irp);
}

static NTSTATUS NTAPI DispatchPower(DEVICE_OBJECT* device, IRP* irp) {
  PoStartNextPowerIrp(irp);
  IoSkipCurrentIrpStackLocation(irp);
  return PoCallDriver(NextOf(device), irp);
}

static NTSTATUS Copy(IRP* irp, ULONG room, const void* data, ULONG length) {
  if (room < length) return STATUS_BUFFER_TOO_SMALL;
  RtlCopyMemory(irp->UserBuffer, data, length);
  irp->IoStatus.Information = length;
  return STATUS_SUCCESS;
}

static NTSTATUS NTAPI DispatchInternal(DEVICE_OBJECT* device, IRP* irp) {
  ZrHidDevice* dev = DeviceOf(device);
  const ZrHidDevProfile* profile = &kZrHidDevProfiles[dev->profile];
  IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
  ULONG room = stack->Parameters.DeviceIoControl.OutputBufferLength;
  NTSTATUS status;
  KIRQL irql;

  irp->IoStatus.Information = 0;
  switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case ZR_IOCTL_HID_GET_DEVICE_DESCRIPTOR: {
      ZR_HID_DESCRIPTOR descriptor = {0};
      descriptor.bLength = sizeof(descriptor);
      descriptor.bDescriptorType = ZR_HID_HID_DESCRIPTOR_TYPE;
      descriptor.bcdHID = 0x0111;
      descriptor.bNumDescriptors = 1;
      descriptor.DescriptorList[0].bReportType = ZR_HID_REPORT_DESCRIPTOR_TYPE;
      descriptor.DescriptorList[0].wReportLength = (USHORT)profile->descriptor_length;
      status = Copy(irp, room, &descriptor, sizeof(descriptor));
      break;
    }
    case ZR_IOCTL_HID_GET_REPORT_DESCRIPTOR:
      status = Copy(irp, room, profile->descriptor, profile->descriptor_length);
      break;
    case ZR_IOCTL_HID_GET_DEVICE_ATTRIBUTES: {
      ZR_HID_DEVICE_ATTRIBUTES attributes = {0};
      attributes.Size = sizeof(attributes);
      attributes.VendorID = profile->vendor;
      attributes.ProductID = profile->product;
      attributes.VersionNumber = profile->version;
      status = Copy(irp, room, &attributes, sizeof(attributes));
      break;
    }
    case ZR_IOCTL_HID_GET_STRING: {
      /* The string index travels in the input buffer pointer itself. */
      ULONG index = (ULONG)(ULONG_PTR)stack->Parameters.DeviceIoControl.Type3InputBuffer & 0xFFFF;
      static const WCHAR kMaker[] = L"Zorvane Test";
      static const WCHAR kProduct[] = L"Virtual HID device";
      WCHAR serial[] = L"ZRHD0";
      serial[4] = (WCHAR)(L'0' + dev->profile);
      if (index == 1)
        status = Copy(irp, room, kMaker, sizeof(kMaker));
      else if (index == 2)
        status = Copy(irp, room, kProduct, sizeof(kProduct));
      else if (index == 3)
        status = Copy(irp, room, serial, sizeof(serial));
      else
        status = STATUS_INVALID_PARAMETER;
      break;
    }
    case ZR_IOCTL_HID_READ_REPORT: {
      KeAcquireSpinLock(&dev->lock, &irql);
      if (dev->removed) {
        KeReleaseSpinLock(&dev->lock, irql);
        status = STATUS_DELETE_PENDING;
        break;
      }
      IoMarkIrpPending(irp);
      InsertTailList(&dev->reads, &irp->Tail.Overlay.ListEntry);
      KeReleaseSpinLock(&dev->lock, irql);
      if (dev->event) ZwSetEvent(dev->event, NULL);
      return STATUS_PENDING;
    }
    case ZR_IOCTL_HID_ACTIVATE_DEVICE:
    case ZR_IOCTL_HID_DEACTIVATE_DEVICE:
      status = STATUS_SUCCESS;
      break;
    default:
      status = STATUS_NOT_SUPPORTED;
      break;
  }
  irp->IoStatus.Status = status;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

static ULONG ReadProfile(DEVICE_OBJECT* pdo) {
  HANDLE key;
  ULONG profile = ZR_HIDDEV_PROFILE_MCE_VENDOR;
  if (!NT_SUCCESS(IoOpenDeviceRegistryKey(pdo, PLUGPLAY_REGKEY_DEVICE, KEY_READ, &key))) return profile;
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, L"Profile");
  union {
    KEY_VALUE_PARTIAL_INFORMATION info;
    UCHAR bytes[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + sizeof(ULONG)];
  } value;
  ULONG size = 0;
  if (NT_SUCCESS(ZwQueryValueKey(key, &name, KeyValuePartialInformation, &value, sizeof(value), &size)) &&
      value.info.Type == REG_DWORD && value.info.DataLength == sizeof(ULONG)) {
    ULONG chosen;
    RtlCopyMemory(&chosen, value.info.Data, sizeof(chosen));
    if (chosen < ZR_HIDDEV_PROFILE_COUNT) profile = chosen;
  }
  ZwClose(key);
  return profile;
}

static NTSTATUS NTAPI AddDevice(DRIVER_OBJECT* driver, DEVICE_OBJECT* fdo) {
  (void)driver;
  ZR_HID_DEVICE_EXTENSION* ext = (ZR_HID_DEVICE_EXTENSION*)fdo->DeviceExtension;
  ZrHidDevice* dev = (ZrHidDevice*)ext->MiniDeviceExtension;
  RtlZeroMemory(dev, sizeof(*dev));
  dev->profile = ReadProfile(ext->PhysicalDeviceObject);
  KeInitializeSpinLock(&dev->lock);
  InitializeListHead(&dev->reads);
  fdo->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}

static VOID NTAPI Unload(DRIVER_OBJECT* driver) { (void)driver; }

NTSTATUS NTAPI DriverEntry(DRIVER_OBJECT* driver, UNICODE_STRING* registry) {
  driver->DriverExtension->AddDevice = AddDevice;
  driver->DriverUnload = Unload;
  driver->MajorFunction[IRP_MJ_PNP] = DispatchPnp;
  driver->MajorFunction[IRP_MJ_POWER] = DispatchPower;
  driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = DispatchInternal;

  ZR_HID_MINIDRIVER_REGISTRATION registration = {0};
  registration.Revision = 1;
  registration.DriverObject = driver;
  registration.RegistryPath = registry;
  registration.DeviceExtensionSize = sizeof(ZrHidDevice);
  registration.DevicesArePolled = FALSE;
  return HidRegisterMinidriver(&registration);
}
