#include "foundation/win/ZrInstallLocation.h"

#include <vector>

#include "foundation/win/ZrHandle.h"

namespace {

constexpr REGSAM kReadAccess = 0x20019;  // KEY_READ
constexpr DWORD kMaxKeyName = 256;       // 255 characters and the terminator

bool EndsWithNoCase(const ZrString& text, const ZrChar* suffix) {
  const int length = static_cast<int>(ZrLength(suffix));
  return text.Length() >= length && text.Right(length).CompareNoCase(suffix) == 0;
}

bool BeginsWithNoCase(const ZrString& text, const ZrString& prefix) {
  return text.Length() >= prefix.Length() && text.Left(prefix.Length()).CompareNoCase(prefix) == 0;
}

// A string value of an open key; empty when it is missing or not a string. The data need not be
// terminated, and may hold an odd number of bytes.
ZrString ReadString(HKEY key, const wchar_t* name) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return ZrString();
  if ((type != REG_SZ && type != REG_EXPAND_SZ) || size < sizeof(wchar_t)) return ZrString();
  // Room for every byte, rounded up to whole characters, and one more for the terminator.
  std::vector<wchar_t> data((size + sizeof(wchar_t) - 1) / sizeof(wchar_t) + 1, L'\0');
  DWORD got = static_cast<DWORD>((data.size() - 1) * sizeof(wchar_t));
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &got) != ERROR_SUCCESS)
    return ZrString();
  data[std::min<size_t>(got / sizeof(wchar_t), data.size() - 1)] = L'\0';
  return ZrString(ZrU(data.data()));
}

}  // namespace

ZrString ZrWithOneTrailingBackslash(const ZrString& path) {
  if (path.IsEmpty()) return path;
  int end = path.Length();
  while (end > 0 && path[end - 1] == u'\\') --end;
  return path.Left(end) + u"\\";
}

ZrString ZrDirectoryOf(const ZrString& filePath) {
  const int slash = filePath.ReverseFind(u'\\');
  return slash < 0 ? ZrString() : ZrWithOneTrailingBackslash(filePath.Left(slash + 1));
}

ZrString ZrLongPathForm(const ZrString& path) {
  if (path.IsEmpty()) return path;
  const DWORD needed = GetLongPathNameW(ZrW(path.c_str()), nullptr, 0);
  if (needed == 0) return ZrWithOneTrailingBackslash(path);
  ZrString longForm;
  const DWORD length = GetLongPathNameW(ZrW(path.c_str()), ZrW(longForm.GetBuffer(static_cast<int>(needed))), needed);
  longForm.ReleaseBuffer(length > 0 && length < needed ? static_cast<int>(length) : 0);
  return ZrWithOneTrailingBackslash(longForm.IsEmpty() ? path : longForm);
}

ZrString ZrInstallationsKeyPath(const ZrString& moduleDirectory) {
  return ZrString(EndsWithNoCase(moduleDirectory, u"\\x64\\") ? kZrInstallationsKeyWow64 : kZrInstallationsKey);
}

ZrString ZrFindInstallation(HKEY root, const ZrString& keyPath, const ZrString& executableDirectory,
                            const ZrString& moduleDirectory) {
  ZrRegistryKey installations;
  if (RegOpenKeyExW(root, ZrW(keyPath.c_str()), 0, kReadAccess, installations.put()) != ERROR_SUCCESS)
    return ZrString();
  const ZrString defaultName = ReadString(installations.get(), nullptr);
  const ZrString executable = ZrWithOneTrailingBackslash(executableDirectory);
  const ZrString module = ZrWithOneTrailingBackslash(moduleDirectory);

  ZrString found;
  for (DWORD index = 0;; ++index) {
    wchar_t name[kMaxKeyName];
    DWORD nameLength = kMaxKeyName;
    if (RegEnumKeyExW(installations.get(), index, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    const ZrString subkeyName(ZrU(name), static_cast<int>(nameLength));
    ZrRegistryKey installation;
    const ZrString subkeyPath = keyPath + u"\\" + subkeyName;
    if (RegOpenKeyExW(root, ZrW(subkeyPath.c_str()), 0, kReadAccess, installation.put()) != ERROR_SUCCESS) continue;
    // Compared with its backslash, so that "...\App" does not claim "...\Application\".
    const ZrString path = ZrWithOneTrailingBackslash(ReadString(installation.get(), L"Path"));
    if (path.IsEmpty()) continue;
    if ((!executable.IsEmpty() && BeginsWithNoCase(executable, path)) ||
        (!module.IsEmpty() && BeginsWithNoCase(module, path))) {
      found = path;
      break;
    }
    if (subkeyName == defaultName) found = path;  // a later installation that contains us still wins
  }
  return found;
}

ZrString ZrResolveInstallDirectory(const ZrString& executableDirectory, const ZrString& moduleDirectory,
                                   const ZrString& keyPath, bool* portable) {
  *portable = false;
  const ZrString directory = ZrWithOneTrailingBackslash(executableDirectory);
  if (!directory.IsEmpty()) {
    const ZrString marker = directory + kZrPortableMarker;
    const DWORD attributes = GetFileAttributesW(ZrW(marker.c_str()));
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      *portable = true;
      return directory;
    }
  }
  return ZrFindInstallation(HKEY_LOCAL_MACHINE, keyPath, directory, moduleDirectory);
}
