// The virtual HID device in the prefix: installed, listed by raw input with its profile's identity,
// delivering fed reports as WM_INPUT from its own handle, gone after removal. Where the driver
// cannot be installed every case skips and says why.

#include "peers/hiddev/HidDevice.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/win/testsupport/ZrTestWait.h"

namespace {

std::string g_installFailure;
bool g_installTried = false;

// Installs every profile once per program; later cases reuse it.
bool EnsureInstalled() {
  if (!g_installTried) {
    g_installTried = true;
    for (const HidDevProfileInfo& profile : HidDevProfiles()) {
      std::string reason;
      if (!InstallHidDevice(profile, HidDevDriverFolder(), &reason, 30000)) {
        g_installFailure = std::string(profile.name) + ": " + reason;
        break;
      }
    }
  }
  return g_installFailure.empty();
}

#define REQUIRE_DEVICE()                                                                              \
  if (!EnsureInstalled()) GTEST_SKIP() << "the virtual HID device cannot be installed in this prefix (" \
                                       << g_installFailure << ")"

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::string Upper(std::wstring text) {
  std::string out;
  for (wchar_t c : text) out += static_cast<char>(towupper(c));
  return out;
}

// A hidden window that collects the raw HID input of one collection; it holds the foreground, since
// Wine delivers no raw input while no window does.
class RawHidWindow {
 public:
  RawHidWindow(uint16_t page, uint16_t usage) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &RawHidWindow::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ZrHidDevTestWindow";
    RegisterClassW(&wc);
    m_window = CreateWindowExW(0, wc.lpszClassName, L"hiddev test", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                               wc.hInstance, this);
    SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ShowWindow(m_window, SW_SHOW);
    SetForegroundWindow(m_window);
    RAWINPUTDEVICE device{page, usage, RIDEV_INPUTSINK, m_window};
    m_registered = RegisterRawInputDevices(&device, 1, sizeof(device));
    m_page = page;
    m_usage = usage;
  }
  ~RawHidWindow() {
    RAWINPUTDEVICE device{m_page, m_usage, RIDEV_REMOVE, nullptr};
    RegisterRawInputDevices(&device, 1, sizeof(device));
    DestroyWindow(m_window);
  }
  bool Registered() const { return m_registered; }

  struct Report {
    HANDLE device;
    std::vector<uint8_t> bytes;
  };
  std::vector<Report> reports;

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<RawHidWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_INPUT && self) {
      UINT size = 0;
      GetRawInputData(reinterpret_cast<HRAWINPUT>(lParam), RID_INPUT, nullptr, &size, sizeof(RAWINPUTHEADER));
      std::vector<uint8_t> buffer(size);
      if (GetRawInputData(reinterpret_cast<HRAWINPUT>(lParam), RID_INPUT, buffer.data(), &size,
                          sizeof(RAWINPUTHEADER)) == size) {
        const auto* input = reinterpret_cast<const RAWINPUT*>(buffer.data());
        if (input->header.dwType == RIM_TYPEHID) {
          const size_t length = static_cast<size_t>(input->data.hid.dwSizeHid) * input->data.hid.dwCount;
          const uint8_t* data = input->data.hid.bRawData;
          if (offsetof(RAWINPUT, data.hid.bRawData) + length <= size)
            self->reports.push_back({input->header.hDevice, std::vector<uint8_t>(data, data + length)});
        }
      }
    }
    return DefWindowProcW(window, message, wParam, lParam);
  }

  HWND m_window = nullptr;
  bool m_registered = false;
  uint16_t m_page = 0, m_usage = 0;
};

const HidDevProfileInfo& Profile(const char* name) { return *FindHidDevProfile(name); }

}  // namespace

// Each collection is listed under a name made of its root device's name, with the HID interface
// class, and RID_DEVICE_INFO gives the profile's vendor, product and collection.
TEST(HidDevice, ListedWithTheirProfilesIdentity) {
  REQUIRE_DEVICE();
  struct Case {
    const char* profile;
    size_t unit;
    const char* name;
  } cases[] = {
      {"mce", 0, "\\\\?\\HID#VID_045E&PID_006D&COL01#0000#{4D1E55B2-F16F-11CF-88CB-001111000030}"},
      {"mce", 1, "\\\\?\\HID#IRDEVICE&COL02#0000#{4D1E55B2-F16F-11CF-88CB-001111000030}"},
      {"remote", 0, "\\\\?\\HID#VID_5A52&PID_0C01#0000#{4D1E55B2-F16F-11CF-88CB-001111000030}"},
      {"gamepad", 0, "\\\\?\\HID#VID_5A52&PID_0A01#0000#{4D1E55B2-F16F-11CF-88CB-001111000030}"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.profile) + ":" + std::to_string(c.unit));
    const HidDevProfileInfo& profile = Profile(c.profile);
    const HidDevUnit& unit = profile.units[c.unit];
    const auto entry = FindUnitDevice(profile, unit);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->type, static_cast<DWORD>(RIM_TYPEHID));
    EXPECT_EQ(Upper(entry->name), c.name) << "got " << Narrow(entry->name);
    EXPECT_EQ(entry->info.dwType, static_cast<DWORD>(RIM_TYPEHID));
    EXPECT_EQ(entry->info.hid.dwVendorId, profile.vendor);
    EXPECT_EQ(entry->info.hid.dwProductId, profile.product);
    EXPECT_EQ(entry->info.hid.usUsagePage, unit.page);
    EXPECT_EQ(entry->info.hid.usUsage, unit.usage);
  }
  // Wine's own keyboard and mouse stay where they were.
  const auto all = ListRawDevices();
  ASSERT_GE(all.size(), 6u);
  EXPECT_EQ(all[0].handle, reinterpret_cast<HANDLE>(1));
  EXPECT_EQ(all[1].handle, reinterpret_cast<HANDLE>(2));
}

// A fed report arrives once as WM_INPUT from the collection's own listed handle, in feed order;
// a device without report identifiers gets the identifier byte 0 in front, as on Windows.
TEST(HidDevice, FedReportsArriveFromTheListedHandle) {
  REQUIRE_DEVICE();
  struct Case {
    const char* profile;
    size_t unit;
    std::vector<std::vector<uint8_t>> fed;
    std::vector<std::vector<uint8_t>> received;
  } cases[] = {
      {"mce", 0, {{0x03, 0x0D}, {0x03, 0x00}}, {{0x03, 0x0D}, {0x03, 0x00}}},
      {"mce", 1, {{0x02, 0xB5, 0x00}}, {{0x02, 0xB5, 0x00}}},
      {"remote", 0, {{0xE9, 0x00}, {0x00, 0x00}}, {{0x00, 0xE9, 0x00}, {0x00, 0x00, 0x00}}},
      {"gamepad", 0, {{0x05, 0x7F, 0x81}}, {{0x00, 0x05, 0x7F, 0x81}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.profile) + ":" + std::to_string(c.unit));
    const HidDevProfileInfo& profile = Profile(c.profile);
    const HidDevUnit& unit = profile.units[c.unit];
    const auto entry = FindUnitDevice(profile, unit);
    ASSERT_TRUE(entry.has_value());
    RawHidWindow window(unit.page, unit.usage);
    ASSERT_TRUE(window.Registered()) << "RegisterRawInputDevices failed, error " << GetLastError();
    HidDevFeeder feeder;
    std::string reason;
    ASSERT_TRUE(feeder.Open(unit, &reason)) << reason;
    for (const auto& report : c.fed) ASSERT_TRUE(feeder.Send(report));
    ASSERT_TRUE(ZR_PUMP_UNTIL(window.reports.size() >= c.received.size()));
    zrtest::PumpFor(100);
    ASSERT_EQ(window.reports.size(), c.received.size());
    for (size_t i = 0; i < c.received.size(); ++i) {
      EXPECT_EQ(window.reports[i].device, entry->handle);
      EXPECT_EQ(window.reports[i].bytes, c.received[i]);
    }
  }
}

// The feed is writable by any program: a slot that claims more bytes than a slot holds reaches
// the HID class driver as one report of the collection's own length, and the device goes on.
TEST(HidDevice, ClaimedLengthBeyondTheSlotIsCut) {
  REQUIRE_DEVICE();
  const HidDevProfileInfo& profile = Profile("mce");
  const HidDevUnit& unit = profile.units[1];
  RawHidWindow window(unit.page, unit.usage);
  ASSERT_TRUE(window.Registered());
  std::string reason;
  HANDLE section = OpenFileMappingW(FILE_MAP_WRITE, FALSE, L"Global\\ZrHidDevFeed1");
  ASSERT_NE(section, nullptr) << "error " << GetLastError();
  auto* feed = static_cast<ZrHidDevFeed*>(MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, sizeof(ZrHidDevFeed)));
  ASSERT_NE(feed, nullptr);
  ZrHidDevSlot& slot = feed->slots[static_cast<unsigned long>(feed->written) % ZR_HIDDEV_FEED_SLOTS];
  std::memset(slot.bytes, 0x02, sizeof(slot.bytes));
  slot.length = 0xFFFFFFFFu;
  InterlockedIncrement(&feed->written);
  UnmapViewOfFile(feed);
  CloseHandle(section);

  HidDevFeeder feeder;
  ASSERT_TRUE(feeder.Open(unit, &reason)) << reason;
  ASSERT_TRUE(feeder.Send({0x02, 0x8D, 0x00}));
  ASSERT_TRUE(ZR_PUMP_UNTIL(window.reports.size() >= 2));
  EXPECT_EQ(window.reports[0].bytes, (std::vector<uint8_t>{0x02, 0x02, 0x02}));
  EXPECT_EQ(window.reports[1].bytes, (std::vector<uint8_t>{0x02, 0x8D, 0x00}));
}

// A feeder refuses what no slot can carry and a device that is not running.
TEST(HidDevice, FeederRefusesWhatItCannotDeliver) {
  REQUIRE_DEVICE();
  HidDevFeeder feeder;
  std::string reason;
  ASSERT_TRUE(feeder.Open(Profile("remote").units[0], &reason)) << reason;
  EXPECT_FALSE(feeder.Send({}));
  EXPECT_FALSE(feeder.Send(std::vector<uint8_t>(ZR_HIDDEV_REPORT_MAX + 1, 0x01)));

  HidDevUnit missing = Profile("remote").units[0];
  missing.number = 9;
  HidDevFeeder absent;
  EXPECT_FALSE(absent.Open(missing, &reason));
  EXPECT_FALSE(absent.IsOpen());
  EXPECT_FALSE(absent.Send({0x01}));
}

// Removal takes the device's collection out of the list and leaves the others; installing it
// again brings it back under a new handle, and feeding works again.
TEST(HidDevice, RemovedDeviceLeavesTheListAndComesBack) {
  REQUIRE_DEVICE();
  const HidDevProfileInfo& gamepad = Profile("gamepad");
  const auto before = FindUnitDevice(gamepad, gamepad.units[0]);
  ASSERT_TRUE(before.has_value());
  std::string reason;
  ASSERT_TRUE(RemoveHidDevice(gamepad, &reason)) << reason;
  EXPECT_TRUE(ListProfileDevices(gamepad).empty());
  EXPECT_FALSE(IsHidDeviceRegistered(gamepad.units[0]));
  EXPECT_TRUE(FindUnitDevice(Profile("remote"), Profile("remote").units[0]).has_value());

  ASSERT_TRUE(InstallHidDevice(gamepad, HidDevDriverFolder(), &reason, 30000)) << reason;
  const auto after = FindUnitDevice(gamepad, gamepad.units[0]);
  ASSERT_TRUE(after.has_value());
  EXPECT_NE(after->handle, before->handle);
  RawHidWindow window(0x01, 0x05);
  HidDevFeeder feeder;
  ASSERT_TRUE(feeder.Open(gamepad.units[0], &reason)) << reason;
  ASSERT_TRUE(feeder.Send({0x01, 0x00, 0x00}));
  ASSERT_TRUE(ZR_PUMP_UNTIL(!window.reports.empty()));
  EXPECT_EQ(window.reports[0].device, after->handle);
}
