#pragma once
// A Windows critical section with one owner, and a scoped lock for it. Critical sections are
// recursive: the owning thread may lock again, which the command queue relies on.

#include "foundation/win/ZrWindows.h"

class ZrCriticalSection {
 public:
  ZrCriticalSection() { InitializeCriticalSection(&m_section); }
  ~ZrCriticalSection() { DeleteCriticalSection(&m_section); }
  ZrCriticalSection(const ZrCriticalSection&) = delete;
  ZrCriticalSection& operator=(const ZrCriticalSection&) = delete;

  void Lock() { EnterCriticalSection(&m_section); }
  void Unlock() { LeaveCriticalSection(&m_section); }

 private:
  CRITICAL_SECTION m_section;
};

class ZrLock {
 public:
  explicit ZrLock(ZrCriticalSection& section) : m_section(section) { m_section.Lock(); }
  ~ZrLock() { m_section.Unlock(); }
  ZrLock(const ZrLock&) = delete;
  ZrLock& operator=(const ZrLock&) = delete;

 private:
  ZrCriticalSection& m_section;
};
