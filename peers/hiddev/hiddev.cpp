// Installs, removes, lists and feeds the virtual HID device of the prefix.
//   hiddev install <profile>...     install the profiles' root devices (mce, remote, gamepad, all)
//   hiddev remove <profile>...      remove them
//   hiddev list                     the raw-input device list: handle, type, name, vendor, product, usage
//   hiddev send <profile>[:<n>] <hex>...
//                                   feed reports to the profile's n-th collection (from 0; mce:0 is the
//                                   remote's vendor collection, mce:1 consumer control) as hex bytes,
//                                   the report identifier first where the collection has one
// Exit code 0 on success, 1 on failure (with the reason on stderr), 2 on a usage error.

#include <cstdio>
#include <string>
#include <vector>

#include "peers/hiddev/HidDevice.h"

namespace {

std::vector<const HidDevProfileInfo*> Profiles(int argc, wchar_t** argv, int first, bool* ok) {
  std::vector<const HidDevProfileInfo*> chosen;
  *ok = argc > first;
  for (int i = first; i < argc; ++i) {
    std::string name;
    for (const wchar_t* c = argv[i]; *c; ++c) name += static_cast<char>(*c);
    if (name == "all") {
      for (const HidDevProfileInfo& profile : HidDevProfiles()) chosen.push_back(&profile);
    } else if (const HidDevProfileInfo* profile = FindHidDevProfile(name)) {
      chosen.push_back(profile);
    } else {
      std::fprintf(stderr, "hiddev: unknown profile %s (mce, remote, gamepad, all)\n", name.c_str());
      *ok = false;
    }
  }
  return chosen;
}

bool ParseHex(const wchar_t* text, std::vector<uint8_t>* bytes) {
  std::wstring digits;
  for (const wchar_t* c = text; *c; ++c)
    if (*c != L' ' && *c != L':') digits += *c;
  if (digits.empty() || digits.size() % 2) return false;
  for (size_t i = 0; i < digits.size(); i += 2) {
    wchar_t* end = nullptr;
    const std::wstring pair = digits.substr(i, 2);
    const unsigned long value = wcstoul(pair.c_str(), &end, 16);
    if (*end) return false;
    bytes->push_back(static_cast<uint8_t>(value));
  }
  return true;
}

int List() {
  for (const RawDeviceEntry& entry : ListRawDevices()) {
    std::printf("%p type %lu %ls", entry.handle, entry.type, entry.name.c_str());
    if (entry.type == RIM_TYPEHID)
      std::printf(" vendor %04lX product %04lX page %04X usage %04X", entry.info.hid.dwVendorId,
                  entry.info.hid.dwProductId, entry.info.hid.usUsagePage, entry.info.hid.usUsage);
    std::printf("\n");
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"list") return List();
  if (command == L"remove" && argc == 3 && std::wstring(argv[2]) == L"all") {
    std::string reason;
    if (!RemoveAllHidDevices(&reason)) {
      std::fprintf(stderr, "hiddev: remove all: %s\n", reason.c_str());
      return 1;
    }
    std::printf("removed all\n");
    return 0;
  }
  bool ok = false;
  if (command == L"install" || command == L"remove") {
    const auto profiles = Profiles(argc, argv, 2, &ok);
    if (!ok) return 2;
    for (const HidDevProfileInfo* profile : profiles) {
      std::string reason;
      const bool done = command == L"install" ? InstallHidDevice(*profile, HidDevDriverFolder(), &reason)
                                              : RemoveHidDevice(*profile, &reason);
      if (!done) {
        std::fprintf(stderr, "hiddev: %ls %s: %s\n", command.c_str(), profile->name, reason.c_str());
        return 1;
      }
      std::printf("%ls %s\n", command == L"install" ? L"installed" : L"removed", profile->name);
    }
    return 0;
  }
  if (command == L"send" && argc > 3) {
    std::wstring target = argv[2];
    size_t index = 0;
    if (const size_t colon = target.find(L':'); colon != std::wstring::npos) {
      index = wcstoul(target.c_str() + colon + 1, nullptr, 10);
      target.erase(colon);
    }
    wchar_t* names[] = {nullptr, target.data()};
    const auto profiles = Profiles(2, names, 1, &ok);
    if (!ok || profiles.size() != 1 || index >= profiles[0]->units.size()) return 2;
    HidDevFeeder feeder;
    std::string reason;
    if (!feeder.Open(profiles[0]->units[index], &reason)) {
      std::fprintf(stderr, "hiddev: %s\n", reason.c_str());
      return 1;
    }
    for (int i = 3; i < argc; ++i) {
      std::vector<uint8_t> report;
      if (!ParseHex(argv[i], &report)) {
        std::fprintf(stderr, "hiddev: not a report: %ls\n", argv[i]);
        return 2;
      }
      if (!feeder.Send(report)) {
        std::fprintf(stderr, "hiddev: the device took no report within the deadline\n");
        return 1;
      }
    }
    return feeder.WaitTaken() ? 0 : 1;
  }
  std::fprintf(stderr, "usage: hiddev install|remove <profile>... | list | send <profile> <hex>...\n");
  return 2;
}
