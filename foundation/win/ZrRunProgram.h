#pragma once
// Starts a program through the shell, without waiting for it, and gives it a priority class.

#include "foundation/ZrString.h"
#include "foundation/win/ZrWindows.h"

// priorityClass: a CreateProcess priority class; NORMAL_PRIORITY_CLASS leaves the default. Answers
// whether the program was started. Traced under "RunProgram".
bool ZrRunProgram(const ZrString& path, DWORD priorityClass);
