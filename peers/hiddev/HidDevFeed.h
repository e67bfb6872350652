#pragma once
/* What the virtual HID device and the programs that feed it share: the profiles it can take and the
 * layout of the feed, a named section the driver creates per device and a named event that wakes
 * its reader. Plain C, because the driver is built as C against the system's driver headers. */

#define ZR_HIDDEV_FEED_MAGIC 0x5A524844UL /* "ZRHD" */
#define ZR_HIDDEV_FEED_SLOTS 64
#define ZR_HIDDEV_REPORT_MAX 32

/* The devices the driver can be: one top-level collection each. The number is the "Profile" value of
 * the device's hardware key and ends the feed's object names. */
#define ZR_HIDDEV_PROFILE_MCE_VENDOR 0
#define ZR_HIDDEV_PROFILE_MCE_CONSUMER 1
#define ZR_HIDDEV_PROFILE_REMOTE 2
#define ZR_HIDDEV_PROFILE_GAMEPAD 3
#define ZR_HIDDEV_PROFILE_COUNT 4

/* One report as the device hands it to the HID class driver: with its report identifier first when
 * the device numbers its reports, without it otherwise. */
typedef struct ZrHidDevSlot {
  unsigned int length;
  unsigned char bytes[ZR_HIDDEV_REPORT_MAX];
} ZrHidDevSlot;

/* A ring with one writer (a feeding program) and one reader (the device): the writer fills
 * slots[written % SLOTS] and then advances written; the device takes slots[taken % SLOTS] and then
 * advances taken. The counters only grow; their difference is what waits. A writer that finds
 * SLOTS waiting waits itself. */
typedef struct ZrHidDevFeed {
  unsigned int magic;
  unsigned int profile;
  volatile long written;
  volatile long taken;
  /* Raised by the device each time it started listening anew (a start), so that a writer can tell a
   * fresh device from the one it fed before. */
  volatile long generation;
  unsigned int reserved[3];
  ZrHidDevSlot slots[ZR_HIDDEV_FEED_SLOTS];
} ZrHidDevFeed;

/* Object names: the driver creates "\BaseNamedObjects\<name><profile>", user programs open
 * "Global\<name><profile>". */
#define ZR_HIDDEV_SECTION_NAME L"ZrHidDevFeed"
#define ZR_HIDDEV_EVENT_NAME L"ZrHidDevFeedEvent"
