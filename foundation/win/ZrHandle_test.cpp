#include "foundation/win/ZrHandle.h"

#include <gtest/gtest.h>

namespace {

constexpr wchar_t kTestKey[] = L"Software\\ZrTests\\ZrHandle";

// Whether a registry handle still refers to an open key.
bool KeyIsOpen(HKEY key) { return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                   nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS; }

LRESULT CALLBACK PlainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}

ATOM RegisterTestClass(const wchar_t* name) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = &PlainWindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = name;
  return RegisterClassW(&windowClass);
}

bool ClassExists(const wchar_t* name) {
  WNDCLASSW info;
  return GetClassInfoW(GetModuleHandleW(nullptr), name, &info) != FALSE;
}

}  // namespace

TEST(ZrHandle, ResetClosesTheOldHandleAndKeepsTheCallersLastError) {
  ZrEventHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event);
  const HANDLE old = event.get();
  const HANDLE fresh = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(fresh, nullptr);
  SetLastError(0x1234);
  event.reset(fresh);
  EXPECT_EQ(GetLastError(), 0x1234u);
  EXPECT_EQ(event.get(), fresh);
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(SetEvent(old));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(ZrHandle, PutClosesWhatWasHeldAndTakesTheNewHandle) {
  ZrRegistryKey key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
            ERROR_SUCCESS);
  const HKEY first = key.get();
  ASSERT_TRUE(KeyIsOpen(first));
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kTestKey, 0, KEY_READ, key.put()), ERROR_SUCCESS);
  EXPECT_TRUE(KeyIsOpen(key.get()));
  if (key.get() != first) EXPECT_FALSE(KeyIsOpen(first));
  key.reset();
  RegDeleteKeyW(HKEY_CURRENT_USER, kTestKey);
}

TEST(ZrHandle, ARegistryKeyOwnerNeverClosesAPredefinedRoot) {
  {
    ZrRegistryKey root(HKEY_CURRENT_USER);
  }
  ZrRegistryKey key;
  EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kTestKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
            ERROR_SUCCESS);
  key.reset();
  EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, kTestKey), ERROR_SUCCESS);
}

TEST(ZrHandle, AMappedViewIsUnmappedWithItsOwner) {
  const ZrMappingHandle mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, nullptr));
  ASSERT_TRUE(mapping);
  void* address = nullptr;
  {
    const ZrMappedView view(MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, 4096));
    ASSERT_TRUE(view);
    address = view.get();
    MEMORY_BASIC_INFORMATION info = {};
    ASSERT_NE(VirtualQuery(address, &info, sizeof info), 0u);
    EXPECT_EQ(info.State, static_cast<DWORD>(MEM_COMMIT));
  }
  MEMORY_BASIC_INFORMATION info = {};
  ASSERT_NE(VirtualQuery(address, &info, sizeof info), 0u);
  EXPECT_EQ(info.State, static_cast<DWORD>(MEM_FREE));
}

TEST(ZrHandle, AWindowOwnerDestroysTheWindowAndThenUnregistersItsClass) {
  const wchar_t* name = L"ZrHandle test window class";
  ZrClassWindow created;
  created.instance = GetModuleHandleW(nullptr);
  created.windowClass = RegisterTestClass(name);
  ASSERT_NE(created.windowClass, 0);
  created.window = CreateWindowExW(0, name, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, created.instance, nullptr);
  ASSERT_NE(created.window, nullptr);
  {
    const ZrWindowWithClass owner(created);
    EXPECT_TRUE(ClassExists(name));
  }
  EXPECT_FALSE(IsWindow(created.window));
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(ClassExists(name));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST));
}

TEST(ZrHandle, AClassWhoseWindowWasNeverMadeIsStillUnregistered) {
  const wchar_t* name = L"ZrHandle test class without window";
  ZrClassWindow created;
  created.instance = GetModuleHandleW(nullptr);
  created.windowClass = RegisterTestClass(name);
  ASSERT_NE(created.windowClass, 0);
  {
    const ZrWindowWithClass owner(created);
    EXPECT_TRUE(owner.valid());
  }
  EXPECT_FALSE(ClassExists(name));
}

TEST(ZrHandle, ABstrMovesToItsNewOwnerAndIsFreedOnce) {
  ZrBstr first(SysAllocString(L"code"));
  ASSERT_TRUE(first);
  ZrBstr second(std::move(first));
  EXPECT_FALSE(first);
  ASSERT_TRUE(second);
  EXPECT_EQ(SysStringLen(second.get()), 4u);
  BSTR raw = second.release();
  EXPECT_FALSE(second);
  SysFreeString(raw);
}
