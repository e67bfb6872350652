#include "foundation/win/ZrSystemFunctions.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "foundation/win/ZrLoadLibrary.h"

namespace {

// Runs body with the standard output going to a temporary file and answers what was written.
template <class Body>
std::string CaptureStdout(Body body) {
  std::fflush(stdout);
  FILE* file = std::tmpfile();
  if (!file) return "(no temporary file)";
  int saved = _dup(1);
  _dup2(_fileno(file), 1);
  body();
  std::fflush(stdout);
  _dup2(saved, 1);
  _close(saved);
  std::string text;
  std::rewind(file);
  for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
  std::fclose(file);
  return text;
}

// Every entry of a table is a function pointer of the same size, laid out before the library handle.
template <class Table>
int CountNonNullEntries(const Table& table) {
  const auto* entries = reinterpret_cast<void* const*>(&table);
  int count = 0;
  for (size_t i = 0; i < offsetof(Table, m_library) / sizeof(void*); ++i)
    if (entries[i]) ++count;
  return count;
}

constexpr ZrChar kMissingLibrary[] = u"zr-no-such-library-7f3a.dll";

}  // namespace

TEST(ZrLoadLibrary, MissingLibraryWritesItsLineAndLeavesNoHandle) {
  ZrModuleHandle handle;
  bool loaded = true;
  std::string out = CaptureStdout([&] { loaded = ZrLoadLibrary(&handle, kMissingLibrary); });
  EXPECT_FALSE(loaded);
  EXPECT_EQ(handle.get(), nullptr);
  std::string prefix = "\n\nERROR in ZrLoadLibrary: errno=";
  std::string suffix = ", file=zr-no-such-library-7f3a.dll\n\n";
  ASSERT_GE(out.size(), prefix.size() + suffix.size()) << out;
  EXPECT_EQ(out.substr(0, prefix.size()), prefix) << out;
  EXPECT_EQ(out.substr(out.size() - suffix.size()), suffix) << out;
  std::string number = out.substr(prefix.size(), out.size() - prefix.size() - suffix.size());
  EXPECT_EQ(number.find_first_not_of("-0123456789"), std::string::npos) << out;
}

TEST(ZrLoadLibrary, ReleasesTheHandleItHeldBeforeLoadingAnother) {
  HMODULE before = GetModuleHandleW(L"setupapi.dll");
  if (before) GTEST_SKIP() << "setupapi.dll is already loaded by the test program";
  ZrModuleHandle handle;
  ASSERT_TRUE(ZrLoadLibrary(&handle, u"setupapi.dll"));
  ASSERT_NE(GetModuleHandleW(L"setupapi.dll"), nullptr);
  // An empty name only releases.
  EXPECT_FALSE(ZrLoadLibrary(&handle, u""));
  EXPECT_EQ(handle.get(), nullptr);
  EXPECT_EQ(GetModuleHandleW(L"setupapi.dll"), nullptr);
}

TEST(ZrSystemFunctions, TablesOfAMissingLibraryHaveOnlyNullEntries) {
  CaptureStdout([] {
    ZrUser32Functions user32(kMissingLibrary);
    ZrKernel32Functions kernel32(kMissingLibrary);
    ZrSetupApiFunctions setupApi(kMissingLibrary);
    EXPECT_EQ(user32.m_library.get(), nullptr);
    EXPECT_EQ(kernel32.m_library.get(), nullptr);
    EXPECT_EQ(setupApi.m_library.get(), nullptr);
    EXPECT_EQ(CountNonNullEntries(user32), 0);
    EXPECT_EQ(CountNonNullEntries(kernel32), 0);
    EXPECT_EQ(CountNonNullEntries(setupApi), 0);
  });
}

TEST(ZrSystemFunctions, EntriesThatTheModuleCallsAreFilledAndWork) {
  ZrUser32Functions user32;
  ZrKernel32Functions kernel32;
  ASSERT_NE(user32.m_library.get(), nullptr);
  ASSERT_NE(user32.GetRawInputData, nullptr);
  ASSERT_NE(user32.GetRawInputDeviceList, nullptr);
  ASSERT_NE(user32.GetRawInputDeviceInfoW, nullptr);
  ASSERT_NE(kernel32.CancelSynchronousIo, nullptr);
  EXPECT_EQ(reinterpret_cast<void*>(kernel32.CancelSynchronousIo),
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CancelSynchronousIo")));

  UINT count = 0;
  EXPECT_EQ(user32.GetRawInputDeviceList(nullptr, &count, sizeof(RAWINPUTDEVICELIST)), 0u);

  // No synchronous I/O is pending on this thread, so there is nothing to cancel.
  HANDLE self = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &self, 0, FALSE,
                              DUPLICATE_SAME_ACCESS));
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(kernel32.CancelSynchronousIo(self));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_FOUND));
  CloseHandle(self);
}

TEST(ZrSystemFunctions, EachTableHoldsItsOwnReferenceToItsLibrary) {
  if (GetModuleHandleW(L"setupapi.dll")) GTEST_SKIP() << "setupapi.dll is already loaded by the test program";
  {
    ZrSetupApiFunctions member;
    ASSERT_NE(member.SetupDiGetClassDevsW, nullptr);
    ASSERT_NE(member.SetupDiDestroyDeviceInfoList, nullptr);
    {
      ZrSetupApiFunctions local;
      EXPECT_EQ(local.m_library.get(), member.m_library.get());
    }
    // The library is still mapped and the member's entries still work.
    EXPECT_NE(GetModuleHandleW(L"setupapi.dll"), nullptr);
    const DWORD kAllClasses = 0x4, kPresent = 0x2;  // DIGCF_ALLCLASSES, DIGCF_PRESENT
    ZrSetupApiFunctions::HDEVINFO set = member.SetupDiGetClassDevsW(nullptr, nullptr, nullptr, kAllClasses | kPresent);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(member.SetupDiDestroyDeviceInfoList(set));
  }
  // The last table released the last reference.
  EXPECT_EQ(GetModuleHandleW(L"setupapi.dll"), nullptr);
}
