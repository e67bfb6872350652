// The input simulator: plays a script of key presses and HID reports into Wine's raw input, with
// their timing, and writes what it sent with timestamps.
//
//   input_sim [--report FILE] [--foreground self|none|window:<title>] [--script FILE]
//             [--key-gap-ms N] [--hid-device N] [--mce-device N]
//             [--end-host <title> [--end-host-delay-ms N]] [event ...]
//
// Events (on the command line, or one per line in the script; "#" starts a comment):
//   key <vk>             key down, --key-gap-ms later key up (SendInput)
//   down <vk> / up <vk>  one key event
//   hid <page> <usage> <device> <hex bytes>   one HID report through the Wine server
//   dev <profile>[:<n>] <hex bytes>           one report from the virtual HID device (peers/hiddev):
//                        the profile's n-th collection (mce:0 remote buttons, mce:1 consumer
//                        control; remote; gamepad), the report identifier first where it has one
//   plug <profile> / unplug <profile>         install or remove a virtual HID device (mce, remote,
//                        gamepad) and wait until the device list shows it or no longer does
//   mce <button>         an MCE remote button: its report, --key-gap-ms later the release report
//   mce-down <button> / mce-up <button>       the press or the release report alone
//   post-keydown <vk>    a WM_KEYDOWN posted to the foreground window, without raw input
//   wait <ms>            a pause
// <vk> is a number (0x41, 65) or a letter, digit or name (shift, control, alt, f1-f12, return,
// space, volume-up). Buttons: start, menu, live, library, music, recordings, pictures, videos,
// radio, guide, info, skip-forward, skip-back.
//
// --driver sends the MCE buttons, and every "hid" report whose collection an installed virtual
// device has, through that device instead of the Wine server, so that they come from a listed
// device with its own handle (the <device> of "hid" is then ignored). Without the device installed
// the simulator fails with exit code 3.
//
// Wine delivers no raw input while no window is in the foreground. By default the simulator shows a
// window of its own and brings it to the foreground; "none" leaves the foreground to the host (rchost
// listen --foreground takes it); "window:<title>" brings that window of another program forward.
//
// --end-host: after the script and the delay (default 1000 ms), WM_APP is posted to the window with
// that title (rchost's "rchost"), which ends its listening.
//
// The report has one line per sent event, "<ns> <event>", with the performance counter in
// nanoseconds (the clock rchost --timestamps prints), then "done <count>". Exit code 0 when every
// event was sent, 2 for a command-line or script error, 3 when input could not be sent.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/ZrTimer.h"
#include "foundation/win/ZrWindows.h"
#include "peers/hiddev/HidDevice.h"
#include "peers/input/McRemoteButtons.h"
#include "peers/input/WineHidInput.h"

namespace {

struct Options {
  std::string report;
  std::string foreground = "self";
  int keyGapMs = 30;
  unsigned hidDevice = 2;
  unsigned mceDevice = 0x10003;
  std::string endHost;  // the title of a window told to stop (WM_APP) after the script
  int endHostDelayMs = 1000;
  bool driver = false;
  std::vector<std::vector<std::string>> events;
};

FILE* g_report = nullptr;
int g_sent = 0;

// ns: when the event was sent (taken just before the call that sends it).
void Report(const std::string& line, long long ns = ZrSteadyNowNs()) {
  std::printf("%lld %s\n", ns, line.c_str());
  std::fflush(stdout);
  if (g_report) {
    std::fprintf(g_report, "%lld %s\n", ns, line.c_str());
    std::fflush(g_report);
  }
}

[[noreturn]] void Fail(int code, const std::string& why) {
  std::fprintf(stderr, "input_sim: %s\n", why.c_str());
  if (g_report) std::fprintf(g_report, "error %s\n", why.c_str());
  std::exit(code);
}

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line.substr(0, line.find('#')));
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

bool ParseNumber(const std::string& text, unsigned long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  *value = std::strtoul(text.c_str(), &end, 0);
  return end && !*end;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

uint16_t VirtualKey(const std::string& text) {
  const std::string name = Lower(text);
  if (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0])))
    return static_cast<uint16_t>(std::toupper(static_cast<unsigned char>(name[0])));
  struct Named {
    const char* name;
    uint16_t vk;
  } static const names[] = {{"shift", 0x10},  {"control", 0x11}, {"ctrl", 0x11},      {"alt", 0x12},
                             {"lwin", 0x5B},   {"rwin", 0x5C},    {"apps", 0x5D},      {"return", 0x0D},
                             {"space", 0x20},  {"escape", 0x1B},  {"volume-up", 0xAF}, {"volume-down", 0xAE}};
  for (const Named& n : names)
    if (name == n.name) return n.vk;
  if (name.size() >= 2 && name[0] == 'f') {
    unsigned long f = 0;
    if (ParseNumber(name.substr(1), &f) && f >= 1 && f <= 24) return static_cast<uint16_t>(0x6F + f);
  }
  unsigned long value = 0;
  if (ParseNumber(text, &value) && value > 0 && value < 256) return static_cast<uint16_t>(value);
  Fail(2, "not a virtual key: " + text);
}

std::vector<uint8_t> HexBytes(const std::string& text) {
  std::vector<uint8_t> bytes;
  std::string digits;
  for (char c : text)
    if (c != ' ' && c != ':' && c != '-') digits += c;
  if (digits.empty() || digits.size() % 2) Fail(2, "not hex bytes: " + text);
  for (size_t i = 0; i < digits.size(); i += 2) {
    unsigned long b = 0;
    if (!ParseNumber("0x" + digits.substr(i, 2), &b)) Fail(2, "not hex bytes: " + text);
    bytes.push_back(static_cast<uint8_t>(b));
  }
  return bytes;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string text;
  char b[4];
  for (uint8_t v : bytes) {
    std::snprintf(b, sizeof b, "%02X", v);
    text += b;
  }
  return text;
}

// Waits while keeping our window answering.
// The script's timeline: each pause ends at a point fixed from the start of the script, so that
// the time spent sending does not add up into a slower rate over thousands of events.
long long g_timeline = 0;

void WaitUntil(long long end) {
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    const long long left = end - ZrSteadyNowNs();
    if (left <= 0) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>((left + 999999) / 1000000), QS_ALLINPUT);
  }
}

void Pause(int ms) {
  if (g_timeline == 0) g_timeline = ZrSteadyNowNs();
  g_timeline += static_cast<long long>(ms) * 1000000;
  WaitUntil(g_timeline);
}

void SendKey(uint16_t vk, bool up) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  const long long sentNs = ZrSteadyNowNs();
  if (SendInput(1, &input, sizeof input) != 1) Fail(3, "SendInput failed, error " + std::to_string(GetLastError()));
  char text[32];
  std::snprintf(text, sizeof text, "%s 0x%02X", up ? "up" : "down", vk);
  Report(text, sentNs);
  ++g_sent;
}

WineHidInput& Hid() {
  static WineHidInput hid;
  static bool opened = false;
  if (!opened) {
    if (!hid.Open()) Fail(3, hid.Error());
    opened = true;
  }
  return hid;
}

// The feeders of the virtual device's collections, opened on first use.
HidDevFeeder& Feeder(const HidDevProfileInfo& profile, size_t index) {
  static std::vector<std::pair<const HidDevUnit*, HidDevFeeder>> feeders;
  const HidDevUnit* unit = &profile.units[index];
  for (auto& [known, feeder] : feeders)
    if (known == unit) return feeder;
  feeders.emplace_back(unit, HidDevFeeder());
  std::string reason;
  if (!feeders.back().second.Open(*unit, &reason))
    Fail(3, std::string("the virtual ") + profile.name + " device is not running: " + reason);
  return feeders.back().second;
}

void SendDevice(const HidDevProfileInfo& profile, size_t index, const std::vector<uint8_t>& report,
                const std::string& label) {
  HidDevFeeder& feeder = Feeder(profile, index);
  const long long sentNs = ZrSteadyNowNs();
  if (!feeder.Send(report)) Fail(3, "the virtual device took no report within the deadline");
  Report("dev " + std::string(profile.name) + ":" + std::to_string(index) + " " + Hex(report) +
             (label.empty() ? "" : " " + label),
         sentNs);
  ++g_sent;
}

// The virtual device's collection for a usage page and usage, the MCE receiver's first.
bool FindDeviceUnit(uint16_t page, uint16_t usage, const HidDevProfileInfo** profile, size_t* index) {
  for (const HidDevProfileInfo& candidate : HidDevProfiles())
    for (size_t i = 0; i < candidate.units.size(); ++i)
      if (candidate.units[i].page == page && candidate.units[i].usage == usage) {
        *profile = &candidate;
        *index = i;
        return true;
      }
  return false;
}

bool g_driver = false;

void SendHid(uint16_t page, uint16_t usage, unsigned device, const std::vector<uint8_t>& report, const std::string& label) {
  const HidDevProfileInfo* profile = nullptr;
  size_t index = 0;
  if (g_driver && FindDeviceUnit(page, usage, &profile, &index)) return SendDevice(*profile, index, report, label);
  WineHidInput& hid = Hid();
  const long long sentNs = ZrSteadyNowNs();
  const uint32_t status = hid.Send(page, usage, device, report);
  if (status != 0) {
    char text[64];
    std::snprintf(text, sizeof text, "the Wine server refused the HID report (status 0x%08X)", status);
    Fail(3, text);
  }
  char text[96];
  std::snprintf(text, sizeof text, "hid 0x%04X 0x%04X 0x%X %s", page, usage, device, Hex(report).c_str());
  Report(std::string(text) + (label.empty() ? "" : " " + label), sentNs);
  ++g_sent;
}

void Play(const Options& options, const std::vector<std::string>& e) {
  auto need = [&](size_t n) {
    if (e.size() != n) Fail(2, "event \"" + e[0] + "\" takes " + std::to_string(n - 1) + " argument(s)");
  };
  const std::string& verb = e[0];
  if (verb == "key") {
    need(2);
    const uint16_t vk = VirtualKey(e[1]);
    SendKey(vk, false);
    Pause(options.keyGapMs);
    SendKey(vk, true);
  } else if (verb == "down" || verb == "up") {
    need(2);
    SendKey(VirtualKey(e[1]), verb == "up");
  } else if (verb == "hid") {
    if (e.size() < 5) Fail(2, "hid takes <page> <usage> <device> <hex bytes>");
    unsigned long page = 0, usage = 0, device = 0;
    if (!ParseNumber(e[1], &page) || !ParseNumber(e[2], &usage) || !ParseNumber(e[3], &device) || page > 0xFFFF ||
        usage > 0xFFFF)
      Fail(2, "hid takes <page> <usage> <device> <hex bytes>");
    std::string hex;
    for (size_t i = 4; i < e.size(); ++i) hex += e[i];
    SendHid(static_cast<uint16_t>(page), static_cast<uint16_t>(usage), static_cast<unsigned>(device), HexBytes(hex), "");
  } else if (verb == "dev") {
    if (e.size() < 3) Fail(2, "dev takes <profile>[:<n>] <hex bytes>");
    std::string name = Lower(e[1]);
    unsigned long index = 0;
    if (const size_t colon = name.find(':'); colon != std::string::npos) {
      if (!ParseNumber(name.substr(colon + 1), &index)) Fail(2, "dev takes <profile>[:<n>] <hex bytes>");
      name.erase(colon);
    }
    const HidDevProfileInfo* profile = FindHidDevProfile(name);
    if (!profile || index >= profile->units.size()) Fail(2, "no virtual device collection " + e[1]);
    std::string hex;
    for (size_t i = 2; i < e.size(); ++i) hex += e[i];
    SendDevice(*profile, index, HexBytes(hex), "");
  } else if (verb == "plug" || verb == "unplug") {
    need(2);
    const HidDevProfileInfo* profile = FindHidDevProfile(Lower(e[1]));
    if (!profile) Fail(2, "no virtual device profile " + e[1]);
    std::string reason;
    const long long startNs = ZrSteadyNowNs();
    const bool done = verb == "plug" ? InstallHidDevice(*profile, HidDevDriverFolder(), &reason)
                                     : RemoveHidDevice(*profile, &reason);
    if (!done) Fail(3, verb + " " + profile->name + ": " + reason);
    Report(verb + " " + profile->name, startNs);
    ++g_sent;
  } else if (verb == "mce" || verb == "mce-down" || verb == "mce-up") {
    need(2);
    const McRemoteButton* button = FindMcRemoteButton(Lower(e[1]));
    if (!button) Fail(2, "no MCE remote button called " + e[1]);
    if (verb != "mce-up") SendHid(button->page, button->usage, options.mceDevice, button->press, button->name);
    if (verb == "mce") Pause(options.keyGapMs);
    if (verb != "mce-down")
      SendHid(button->page, button->usage, options.mceDevice, button->release, std::string(button->name) + "-release");
  } else if (verb == "post-keydown") {
    need(2);
    // A key message with no raw input before it, as a host sees a key that arrives late.
    const uint16_t vk = VirtualKey(e[1]);
    HWND target = GetForegroundWindow();
    if (!target || !PostMessageW(target, WM_KEYDOWN, vk, 1)) Fail(3, "cannot post to the foreground window");
    char text[32];
    std::snprintf(text, sizeof text, "post-keydown 0x%02X", vk);
    Report(text);
    ++g_sent;
  } else if (verb == "wait") {
    need(2);
    unsigned long ms = 0;
    if (!ParseNumber(e[1], &ms) || ms > 3600000) Fail(2, "wait takes milliseconds");
    Pause(static_cast<int>(ms));
  } else {
    Fail(2, "unknown event " + verb);
  }
}

Options ParseOptions(int argc, wchar_t** argv) {
  Options options;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, text.data(), n, nullptr, nullptr);
    args.push_back(text);
  }
  std::vector<std::string> inline_words;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) Fail(2, a + " needs a value");
      return args[++i];
    };
    unsigned long number = 0;
    if (a == "--report") {
      options.report = value();
    } else if (a == "--foreground") {
      options.foreground = value();
    } else if (a == "--key-gap-ms") {
      if (!ParseNumber(value(), &number) || number > 60000) Fail(2, "--key-gap-ms takes milliseconds");
      options.keyGapMs = static_cast<int>(number);
    } else if (a == "--hid-device" || a == "--mce-device") {
      if (!ParseNumber(value(), &number)) Fail(2, a + " takes a device handle");
      (a == "--hid-device" ? options.hidDevice : options.mceDevice) = static_cast<unsigned>(number);
    } else if (a == "--end-host") {
      options.endHost = value();
    } else if (a == "--end-host-delay-ms") {
      if (!ParseNumber(value(), &number) || number > 600000) Fail(2, "--end-host-delay-ms takes milliseconds");
      options.endHostDelayMs = static_cast<int>(number);
    } else if (a == "--driver") {
      options.driver = true;
    } else if (a == "--script") {
      std::ifstream in(value());
      if (!in) Fail(2, "cannot read the script " + args[i]);
      for (std::string line; std::getline(in, line);) {
        std::vector<std::string> w = Words(line);
        if (!w.empty()) options.events.push_back(w);
      }
    } else if (a == "--help" || a == "-h") {
      std::puts("input_sim: see the comment at the top of peers/input/input_sim.cpp");
      std::exit(0);
    } else if (a.rfind("--", 0) == 0) {
      Fail(2, "unknown option " + a);
    } else {
      inline_words.push_back(a);
    }
  }
  // Events on the command line: each starts at a known verb.
  static const char* const verbs[] = {"key", "down", "up", "hid", "dev", "plug", "unplug", "mce", "mce-down", "mce-up", "post-keydown", "wait"};
  for (const std::string& w : inline_words) {
    bool isVerb = false;
    for (const char* v : verbs) isVerb = isVerb || w == v;
    if (isVerb || options.events.empty())
      options.events.push_back({w});
    else
      options.events.back().push_back(w);
  }
  return options;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND FindByTitle(const std::string& title) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, title.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(n > 0 ? n : 1), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, title.c_str(), -1, wide.data(), n);
  return FindWindowW(nullptr, wide.c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options = ParseOptions(argc, argv);
  g_driver = options.driver;
  if (!options.report.empty()) {
    g_report = std::fopen(options.report.c_str(), "w");
    if (!g_report) Fail(2, "cannot write the report " + options.report);
  }

  HWND window = nullptr;
  if (options.foreground == "self") {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"input_sim";
    RegisterClassW(&windowClass);
    window = CreateWindowExW(0, L"input_sim", L"input_sim", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                             windowClass.hInstance, nullptr);
    ShowWindow(window, SW_SHOW);
    if (!window || !SetForegroundWindow(window)) Fail(3, "cannot take the foreground");
  } else if (options.foreground.rfind("window:", 0) == 0) {
    const std::string title = options.foreground.substr(7);
    HWND target = nullptr;
    // The host may still be making its window.
    for (int i = 0; i < 500 && !target; ++i, Sleep(10)) target = FindByTitle(title);
    if (!target || !SetForegroundWindow(target)) Fail(3, "cannot bring \"" + title + "\" to the foreground");
  } else if (options.foreground != "none") {
    Fail(2, "--foreground takes self, none or window:<title>");
  }
  WaitUntil(ZrSteadyNowNs());
  Report("ready");
  g_timeline = ZrSteadyNowNs();

  for (const std::vector<std::string>& event : options.events) Play(options, event);

  // Lets the last input be read before our window goes.
  WaitUntil(ZrSteadyNowNs() + 50 * 1000000LL);
  Report("done " + std::to_string(g_sent));
  if (!options.endHost.empty()) {
    // The host has had time to read every input; then it is told to stop listening. A posted
    // message overtakes input still queued, hence the wait first.
    WaitUntil(ZrSteadyNowNs() + static_cast<long long>(options.endHostDelayMs) * 1000000);
    HWND host = FindByTitle(options.endHost);
    if (!host || !PostMessageW(host, WM_APP, 0, 0)) Fail(3, "cannot tell \"" + options.endHost + "\" to stop");
  }
  if (window) DestroyWindow(window);
  if (g_report) std::fclose(g_report);
  return 0;
}
