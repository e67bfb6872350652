// A process of its own for loading the module once, as a host does at start: loads the DLL named
// on the command line while a watcher reads and closes any "Critical Error" box, then writes what
// happened to the result file (UTF-16): "loaded" or "failed <error>", a newline, the box's text.
//   module_load_child <dll path> <result path>

#include <string>

#include "foundation/win/ZrHandle.h"
#include "foundation/win/testsupport/ZrMessageBoxWatcher.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  zrtest::MessageBoxWatcher watcher(L"Critical Error");
  SetLastError(0xdeadbeef);
  const ZrModuleHandle module(LoadLibraryW(argv[1]));
  const DWORD error = GetLastError();
  watcher.Finish();

  std::wstring result = module ? L"loaded" : L"failed " + std::to_wstring(error);
  result += L"\n" + watcher.Text();
  const ZrFileHandle file(
      CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return 3;
  DWORD written = 0;
  WriteFile(file.get(), result.data(), static_cast<DWORD>(result.size() * sizeof(wchar_t)), &written, nullptr);
  return 0;
}
