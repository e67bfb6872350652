// Test program for the process information block: runs in a fresh process, opens the block as a
// module of its own would, and writes what it found to a report file.
//
//   zr_process_info_probe <report> fill <installations key>
//   zr_process_info_probe <report> second <installations key> <other installations key>
//   zr_process_info_probe <report> pending
//
// The report is UTF-8, one name=value per line; "block" holds the block's bytes in hex, read
// through a mapping opened independently by its name.

#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "foundation/win/ZrHandle.h"
#include "foundation/win/ZrProcessInfo.h"
#include "foundation/win/ZrWindows.h"

namespace {

std::string Utf8(const ZrString& text) { return text.ToUtf8(); }

std::string BlockHex() {
  wchar_t name[64];
  std::swprintf(name, 64, L"Zorvane Process v35 (%lu)", GetCurrentProcessId());
  const ZrMappingHandle mapping(OpenFileMappingW(FILE_MAP_READ, FALSE, name));
  if (!mapping) return "none";
  const ZrMappedView view(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, ZrProcessBlock::kSize));
  if (!view) return "none";
  const auto* bytes = static_cast<const uint8_t*>(view.get());
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (size_t i = 0; i < ZrProcessBlock::kSize; ++i) {
    hex += digits[bytes[i] >> 4];
    hex += digits[bytes[i] & 15];
  }
  return hex;
}

void Report(FILE* out, const char* name, const std::string& value) {
  std::fprintf(out, "%s=%s\n", name, value.c_str());
}

void ReportInfo(FILE* out, const char* prefix, const ZrProcessInfo& info) {
  std::string p = prefix;
  Report(out, (p + "filled").c_str(), info.FilledBlock() ? "1" : "0");
  Report(out, (p + "install").c_str(), Utf8(info.GetInstallDirectory()));
  Report(out, (p + "appdata").c_str(), Utf8(info.GetAppDataDirectory()));
  Report(out, (p + "executable").c_str(), Utf8(info.GetExecutablePath()));
  Report(out, (p + "portable").c_str(), info.IsPortable() ? "1" : "0");
}

// Plays another module that has marked the block initialised and is still filling it.
void StartSlowFiller() {
  wchar_t name[64];
  std::swprintf(name, 64, L"Zorvane Process v35 (%lu)", GetCurrentProcessId());
  HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, ZrProcessBlock::kSize, name);
  auto* view = static_cast<uint8_t*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, ZrProcessBlock::kSize));
  view[0] = 1;
  std::thread([view] {
    Sleep(300);
    const wchar_t directory[] = L"C:\\Pending\\";
    std::memcpy(view + ZrProcessBlock::kInstallDirectory, directory, sizeof directory);
    std::atomic_ref<int32_t>(*reinterpret_cast<int32_t*>(view + ZrProcessBlock::kVersion))
        .store(ZrProcessBlock::kVersionValue, std::memory_order_release);
  }).detach();
  // The mapping stays open for the life of the process, as the other module's would.
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 2;
  FILE* out = _wfopen(argv[1], L"wb");
  if (!out) return 3;
  const std::wstring mode = argv[2];
  Report(out, "thread", std::to_string(GetCurrentThreadId()));
  if (mode == L"fill" && argc >= 4) {
    ZrProcessInfo info(ZrU(argv[3]));
    ReportInfo(out, "", info);
    Report(out, "block", BlockHex());  // while the object still holds the block
  } else if (mode == L"second" && argc >= 5) {
    ZrProcessInfo first(ZrU(argv[3]));
    ReportInfo(out, "", first);
    Report(out, "block1", BlockHex());
    const wchar_t* otherKey = argv[4];
    std::thread([&] {
      ZrProcessInfo second(ZrU(otherKey));
      ReportInfo(out, "second_", second);
    }).join();
    ZrProcessInfo& module = ZrProcessInfo::Get();
    Report(out, "module_filled", module.FilledBlock() ? "1" : "0");
    Report(out, "module_same", &module == &ZrProcessInfo::Get() ? "1" : "0");
    Report(out, "block", BlockHex());
  } else if (mode == L"race" && argc >= 4) {
    // Modules attaching on several threads at once: all are released together, so that they look
    // at the empty block at the same moment.
    constexpr int kModules = 8;
    const wchar_t* key = argv[3];
    std::atomic<int> ready{0}, constructed{0}, filled{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < kModules; ++i) {
      threads.emplace_back([&] {
        ready.fetch_add(1);
        while (!go.load()) {
        }
        ZrProcessInfo info(ZrU(key));
        if (info.FilledBlock()) filled.fetch_add(1);
        if (info.GetInstallDirectory().IsEmpty()) filled.fetch_add(100);  // a reader that did not wait
        // The mapping lives while an object holds it: every object stays until all exist, or a late
        // thread would find a fresh mapping and rightly fill it again.
        constructed.fetch_add(1);
        while (constructed.load() < kModules) Sleep(0);
      });
    }
    while (ready.load() < kModules) Sleep(0);
    go.store(true);
    for (std::thread& thread : threads) thread.join();
    Report(out, "fillers", std::to_string(filled.load()));
  } else if (mode == L"pending") {
    StartSlowFiller();
    ZrProcessInfo info(u"Software\\ZrTests\\No Such Key\\Installations");
    ReportInfo(out, "", info);
    Report(out, "block", BlockHex());
  } else {
    std::fclose(out);
    return 2;
  }
  std::fclose(out);
  return 0;
}
