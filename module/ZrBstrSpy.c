#include "module/ZrBstrSpy.h"

#include <string.h>

enum State { kEmpty, kModuleLive, kModuleFreed, kHostOwned, kHostFreed, kHostGift };

typedef struct Record {
  BSTR text;
  int state;
  unsigned long allocation; /* number of the allocation that made this pointer live */
} Record;

/* Open addressing over pointers; a record stays after its free, so that a second free of the
 * same pointer is recognised, and is reused when the allocator hands the pointer out again. */
#define kSlots 65536u

typedef BSTR(WINAPI* AllocStringFn)(const OLECHAR*);
typedef BSTR(WINAPI* AllocStringLenFn)(const OLECHAR*, UINT);
typedef BSTR(WINAPI* AllocStringByteLenFn)(LPCSTR, UINT);
typedef INT(WINAPI* ReAllocStringFn)(BSTR*, const OLECHAR*);
typedef INT(WINAPI* ReAllocStringLenFn)(BSTR*, const OLECHAR*, UINT);
typedef void(WINAPI* FreeStringFn)(BSTR);

typedef struct Hook {
  const char* name;
  void* original;
  void* replacement;
} Hook;

typedef struct Patch {
  void** slot;
  void* original;
} Patch;

static CRITICAL_SECTION g_lock;
static LONG g_lockMade;
static Record* g_records;
static unsigned long g_allocations;
static ZrBstrSpyCounts g_counts;
static Patch g_patches[32];
static int g_patchCount;

static AllocStringFn g_allocString;
static AllocStringLenFn g_allocStringLen;
static AllocStringByteLenFn g_allocStringByteLen;
static ReAllocStringFn g_reAllocString;
static ReAllocStringLenFn g_reAllocStringLen;
static FreeStringFn g_freeString;

static void Lock(void) {
  if (InterlockedCompareExchange(&g_lockMade, 1, 0) == 0) InitializeCriticalSection(&g_lock);
  EnterCriticalSection(&g_lock);
}
static void Unlock(void) { LeaveCriticalSection(&g_lock); }

/* The record of `text`, or the empty slot where it belongs. Called under the lock. */
static Record* Find(BSTR text) {
  ULONG_PTR hash = ((ULONG_PTR)text >> 4) * 0x9E3779B97F4A7C15ull;
  unsigned i = (unsigned)(hash >> 48) % kSlots, n;
  for (n = 0; n < kSlots; ++n, i = (i + 1) % kSlots) {
    if (g_records[i].state == kEmpty || g_records[i].text == text) return &g_records[i];
  }
  return NULL;
}

static void NoteAllocated(BSTR text) {
  Record* record;
  if (!text) return;
  Lock();
  record = g_records ? Find(text) : NULL;
  if (record) {
    record->text = text;
    record->state = kModuleLive;
    record->allocation = ++g_allocations;
    ++g_counts.allocated;
    ++g_counts.live;
  }
  Unlock();
}

/* Answers whether the free may go on to the system. */
static int NoteFreed(BSTR text) {
  Record* record;
  int pass = 1;
  if (!text) return 1;
  Lock();
  record = g_records ? Find(text) : NULL;
  if (record && record->state != kEmpty) {
    switch (record->state) {
      case kModuleLive:
        --g_counts.live;
        ++g_counts.freed;
        record->state = kModuleFreed;
        break;
      case kHostGift:
        --g_counts.hostGiftsPending;
        ++g_counts.freed;
        record->state = kModuleFreed;
        break;
      case kModuleFreed:
        ++g_counts.freedTwice;
        pass = 0;
        break;
      case kHostOwned:
      case kHostFreed:
        ++g_counts.freedHostOwned;
        pass = 0;
        break;
    }
  }
  /* A pointer without a record predates the spy: the module's to free. */
  Unlock();
  return pass;
}

static BSTR WINAPI SpyAllocString(const OLECHAR* text) {
  BSTR result = g_allocString(text);
  NoteAllocated(result);
  return result;
}
static BSTR WINAPI SpyAllocStringLen(const OLECHAR* text, UINT length) {
  BSTR result = g_allocStringLen(text, length);
  NoteAllocated(result);
  return result;
}
static BSTR WINAPI SpyAllocStringByteLen(LPCSTR text, UINT length) {
  BSTR result = g_allocStringByteLen(text, length);
  NoteAllocated(result);
  return result;
}
static INT WINAPI SpyReAllocString(BSTR* text, const OLECHAR* value) {
  BSTR old = text ? *text : NULL;
  INT ok = g_reAllocString(text, value);
  if (ok && *text != old) {
    NoteFreed(old);
    NoteAllocated(*text);
  }
  return ok;
}
static INT WINAPI SpyReAllocStringLen(BSTR* text, const OLECHAR* value, UINT length) {
  BSTR old = text ? *text : NULL;
  INT ok = g_reAllocStringLen(text, value, length);
  if (ok && *text != old) {
    NoteFreed(old);
    NoteAllocated(*text);
  }
  return ok;
}
static void WINAPI SpyFreeString(BSTR text) {
  if (NoteFreed(text)) g_freeString(text);
}

int ZrBstrSpyInstall(HMODULE module) {
  HMODULE oleaut = GetModuleHandleW(L"oleaut32.dll");
  Hook hooks[6];
  IMAGE_DOS_HEADER* dos = (IMAGE_DOS_HEADER*)module;
  IMAGE_NT_HEADERS* nt;
  IMAGE_DATA_DIRECTORY* directory;
  IMAGE_IMPORT_DESCRIPTOR* descriptor;
  int h;

  ZrBstrSpyRemove();
  if (!module || !oleaut) return 0;
  hooks[0].name = "SysAllocString";
  hooks[0].replacement = (void*)SpyAllocString;
  hooks[1].name = "SysAllocStringLen";
  hooks[1].replacement = (void*)SpyAllocStringLen;
  hooks[2].name = "SysAllocStringByteLen";
  hooks[2].replacement = (void*)SpyAllocStringByteLen;
  hooks[3].name = "SysReAllocString";
  hooks[3].replacement = (void*)SpyReAllocString;
  hooks[4].name = "SysReAllocStringLen";
  hooks[4].replacement = (void*)SpyReAllocStringLen;
  hooks[5].name = "SysFreeString";
  hooks[5].replacement = (void*)SpyFreeString;
  for (h = 0; h < 6; ++h) hooks[h].original = (void*)GetProcAddress(oleaut, hooks[h].name);
  g_allocString = (AllocStringFn)hooks[0].original;
  g_allocStringLen = (AllocStringLenFn)hooks[1].original;
  g_allocStringByteLen = (AllocStringByteLenFn)hooks[2].original;
  g_reAllocString = (ReAllocStringFn)hooks[3].original;
  g_reAllocStringLen = (ReAllocStringLenFn)hooks[4].original;
  g_freeString = (FreeStringFn)hooks[5].original;

  Lock();
  g_records = (Record*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, kSlots * sizeof(Record));
  Unlock();
  if (!g_records) return 0;

  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return 0;
  nt = (IMAGE_NT_HEADERS*)((BYTE*)module + dos->e_lfanew);
  directory = &nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (!directory->VirtualAddress) return 0;
  /* Whether imported by name or by ordinal, a slot bound to one of these functions holds its
   * address: compare addresses rather than names. */
  for (descriptor = (IMAGE_IMPORT_DESCRIPTOR*)((BYTE*)module + directory->VirtualAddress); descriptor->Name;
       ++descriptor) {
    void** slot = (void**)((BYTE*)module + descriptor->FirstThunk);
    for (; *slot; ++slot) {
      for (h = 0; h < 6; ++h) {
        DWORD protection;
        if (!hooks[h].original || *slot != hooks[h].original || g_patchCount == 32) continue;
        if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection)) continue;
        g_patches[g_patchCount].slot = slot;
        g_patches[g_patchCount].original = *slot;
        ++g_patchCount;
        *slot = hooks[h].replacement;
        VirtualProtect(slot, sizeof *slot, protection, &protection);
      }
    }
  }
  return g_patchCount;
}

void ZrBstrSpyRemove(void) {
  int i;
  Lock();
  for (i = 0; i < g_patchCount; ++i) {
    DWORD protection;
    if (VirtualProtect(g_patches[i].slot, sizeof(void*), PAGE_READWRITE, &protection)) {
      *g_patches[i].slot = g_patches[i].original;
      VirtualProtect(g_patches[i].slot, sizeof(void*), protection, &protection);
    }
  }
  g_patchCount = 0;
  if (g_records) HeapFree(GetProcessHeap(), 0, g_records);
  g_records = NULL;
  memset(&g_counts, 0, sizeof g_counts);
  Unlock();
}

ZrBstrSpyCounts ZrBstrSpyGetCounts(void) {
  ZrBstrSpyCounts counts;
  Lock();
  counts = g_counts;
  Unlock();
  return counts;
}

unsigned long ZrBstrSpyLiveAllocation(BSTR text) {
  unsigned long number = 0;
  Record* record;
  if (!text) return 0;
  Lock();
  record = g_records ? Find(text) : NULL;
  if (record && record->state == kModuleLive) number = record->allocation;
  Unlock();
  return number;
}

int ZrBstrSpyAllocationEnded(BSTR text, unsigned long number) {
  int ended = 1;
  Record* record;
  Lock();
  record = g_records ? Find(text) : NULL;
  if (record && record->state == kModuleLive && record->allocation == number) ended = 0;
  Unlock();
  return ended;
}

int ZrBstrSpyHostTakes(BSTR text) {
  int wasLive = 0;
  Record* record;
  if (!text) return 0;
  Lock();
  record = g_records ? Find(text) : NULL;
  if (record && record->state == kModuleLive) {
    wasLive = 1;
    record->state = kHostOwned;
    --g_counts.live;
  }
  Unlock();
  return wasLive;
}

void ZrBstrSpyHostFree(BSTR text) {
  int mine = 0;
  Record* record;
  if (!text) return;
  Lock();
  record = g_records ? Find(text) : NULL;
  if (record && record->state == kHostOwned) {
    mine = 1;
    record->state = kHostFreed;
  }
  Unlock();
  /* A string the module never allocated may not be a BSTR at all; a blind spy cannot tell. */
  if (mine || g_patchCount == 0) SysFreeString(text);
}

void ZrBstrSpyHostGives(BSTR text) {
  Record* record;
  if (!text) return;
  Lock();
  record = g_records ? Find(text) : NULL;
  if (record) {
    record->text = text;
    record->state = kHostGift;
    record->allocation = ++g_allocations;
    ++g_counts.hostGiftsPending;
  }
  Unlock();
}
