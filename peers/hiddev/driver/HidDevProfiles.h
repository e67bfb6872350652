#pragma once
/* The report descriptors and attributes of the virtual device's profiles. */

#include "peers/hiddev/HidDevFeed.h"

typedef struct ZrHidDevProfile {
  unsigned short vendor;
  unsigned short product;
  unsigned short version;
  const unsigned char* descriptor;
  unsigned int descriptor_length;
  /* The longest input report, its identifier included when there is one. */
  unsigned int max_report;
} ZrHidDevProfile;

/* The MCE receiver's two collections, each a device of its own: Wine 8.0's HID class driver
 * exposes only the first top-level collection of a device. The remote's vendor collection
 * (0xFFBC/0x88, report 3 with one byte) ... */
static const unsigned char kMceVendorDescriptor[] = {
    0x06, 0xBC, 0xFF,       /* Usage Page (0xFFBC) */
    0x09, 0x88,             /* Usage (0x88) */
    0xA1, 0x01,             /* Collection (Application) */
    0x85, 0x03,             /*   Report ID (3) */
    0x19, 0x00,             /*   Usage Minimum (0) */
    0x29, 0xFF,             /*   Usage Maximum (255) */
    0x15, 0x00,             /*   Logical Minimum (0) */
    0x26, 0xFF, 0x00,       /*   Logical Maximum (255) */
    0x75, 0x08,             /*   Report Size (8) */
    0x95, 0x01,             /*   Report Count (1) */
    0x81, 0x00,             /*   Input (Data, Array, Abs) */
    0xC0,                   /* End Collection */
};

/* ... and consumer control (0x0C/0x01, report 2 with a 16-bit usage). */
static const unsigned char kMceConsumerDescriptor[] = {
    0x05, 0x0C,             /* Usage Page (Consumer) */
    0x09, 0x01,             /* Usage (Consumer Control) */
    0xA1, 0x01,             /* Collection (Application) */
    0x85, 0x02,             /*   Report ID (2) */
    0x19, 0x00,             /*   Usage Minimum (0) */
    0x2A, 0xFF, 0x03,       /*   Usage Maximum (0x3FF) */
    0x15, 0x00,             /*   Logical Minimum (0) */
    0x26, 0xFF, 0x03,       /*   Logical Maximum (0x3FF) */
    0x75, 0x10,             /*   Report Size (16) */
    0x95, 0x01,             /*   Report Count (1) */
    0x81, 0x00,             /*   Input (Data, Array, Abs) */
    0xC0,                   /* End Collection */
};

/* A plain consumer-control remote: one collection, no report identifiers, a 16-bit usage. */
static const unsigned char kRemoteDescriptor[] = {
    0x05, 0x0C,             /* Usage Page (Consumer) */
    0x09, 0x01,             /* Usage (Consumer Control) */
    0xA1, 0x01,             /* Collection (Application) */
    0x19, 0x00,             /*   Usage Minimum (0) */
    0x2A, 0xFF, 0x03,       /*   Usage Maximum (0x3FF) */
    0x15, 0x00,             /*   Logical Minimum (0) */
    0x26, 0xFF, 0x03,       /*   Logical Maximum (0x3FF) */
    0x75, 0x10,             /*   Report Size (16) */
    0x95, 0x01,             /*   Report Count (1) */
    0x81, 0x00,             /*   Input (Data, Array, Abs) */
    0xC0,                   /* End Collection */
};

/* A gamepad: eight buttons, then X and Y. */
static const unsigned char kGamepadDescriptor[] = {
    0x05, 0x01,             /* Usage Page (Generic Desktop) */
    0x09, 0x05,             /* Usage (Game Pad) */
    0xA1, 0x01,             /* Collection (Application) */
    0x05, 0x09,             /*   Usage Page (Button) */
    0x19, 0x01,             /*   Usage Minimum (1) */
    0x29, 0x08,             /*   Usage Maximum (8) */
    0x15, 0x00,             /*   Logical Minimum (0) */
    0x25, 0x01,             /*   Logical Maximum (1) */
    0x75, 0x01,             /*   Report Size (1) */
    0x95, 0x08,             /*   Report Count (8) */
    0x81, 0x02,             /*   Input (Data, Var, Abs) */
    0x05, 0x01,             /*   Usage Page (Generic Desktop) */
    0x09, 0x30,             /*   Usage (X) */
    0x09, 0x31,             /*   Usage (Y) */
    0x15, 0x81,             /*   Logical Minimum (-127) */
    0x25, 0x7F,             /*   Logical Maximum (127) */
    0x75, 0x08,             /*   Report Size (8) */
    0x95, 0x02,             /*   Report Count (2) */
    0x81, 0x02,             /*   Input (Data, Var, Abs) */
    0xC0,                   /* End Collection */
};

static const ZrHidDevProfile kZrHidDevProfiles[ZR_HIDDEV_PROFILE_COUNT] = {
    {0x045E, 0x006D, 0x0100, kMceVendorDescriptor, sizeof(kMceVendorDescriptor), 2},
    {0x045E, 0x006D, 0x0100, kMceConsumerDescriptor, sizeof(kMceConsumerDescriptor), 3},
    {0x5A52, 0x0C01, 0x0100, kRemoteDescriptor, sizeof(kRemoteDescriptor), 2},
    {0x5A52, 0x0A01, 0x0100, kGamepadDescriptor, sizeof(kGamepadDescriptor), 3},
};
