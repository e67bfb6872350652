#pragma once
// Where the product is installed: a portable copy beside the host executable, or the installation
// recorded below the installations key that contains the host executable or this module.
// Every directory handled here ends in exactly one backslash.

#include "foundation/ZrString.h"
#include "foundation/win/ZrWindows.h"

inline constexpr ZrChar kZrInstallationsKey[] = u"Software\\Zorvane\\Stagecore\\Installations";
inline constexpr ZrChar kZrInstallationsKeyWow64[] = u"Software\\WOW6432Node\\Zorvane\\Stagecore\\Installations";
inline constexpr ZrChar kZrPortableMarker[] = u"Portable.dat";

// Adds a missing trailing backslash and reduces several to one; an empty path stays empty.
ZrString ZrWithOneTrailingBackslash(const ZrString& path);
// The directory part of a file path, with its trailing backslash; empty when there is none.
ZrString ZrDirectoryOf(const ZrString& filePath);
// Every short (8.3) component replaced by its long name, ending in one backslash. A path that does
// not exist is only given its backslash.
ZrString ZrLongPathForm(const ZrString& path);

// The installations key for a module in this directory: a 64-bit module in the x64 folder of a
// 32-bit installation finds its installation in the 32-bit view.
ZrString ZrInstallationsKeyPath(const ZrString& moduleDirectory);

// Walks the installations below root\keyPath. The first whose Path contains the host executable's
// directory, or else this module's directory, wins; without one, the default installation (the
// key's unnamed value) is the answer; without that, an empty string.
ZrString ZrFindInstallation(HKEY root, const ZrString& keyPath, const ZrString& executableDirectory,
                            const ZrString& moduleDirectory);

// The install directory: the executable's directory when it holds the portable marker (then
// *portable is set), otherwise the installation found below HKEY_LOCAL_MACHINE\keyPath.
ZrString ZrResolveInstallDirectory(const ZrString& executableDirectory, const ZrString& moduleDirectory,
                                   const ZrString& keyPath, bool* portable);
