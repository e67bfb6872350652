#pragma once
// The one header through which the module sees the Windows API.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>
#include <oleauto.h>
#include <shfolder.h>
#include <shellapi.h>
#include <tlhelp32.h>
