#pragma once
/*
 * An allocator spy for the BSTRs a module allocates and frees. It patches the module's import
 * address table so that its calls of SysAllocString, SysAllocStringLen, SysAllocStringByteLen,
 * SysReAllocString, SysReAllocStringLen and SysFreeString pass through here, and records every
 * pointer's state. The host side tells the spy which BSTRs it took over and which it handed to the
 * module, so that a free by the wrong side shows up. A free that would corrupt the heap (a BSTR
 * freed twice, or one that belongs to the host) is counted and not passed on, so the run goes on.
 *
 * C, so that a host built with another compiler's view of the module can use it. Thread-safe:
 * a driver's thread may allocate and free too.
 */
#include "foundation/win/ZrWindows.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ZrBstrSpyCounts {
  long allocated;        /* by the module */
  long freed;            /* by the module, its own or the host's gifts */
  long live;             /* allocated by the module, neither freed nor taken by the host */
  long freedTwice;       /* the module freed a BSTR already freed (blocked) */
  long freedHostOwned;   /* the module freed a BSTR it had handed to the host (blocked) */
  long hostGiftsPending; /* BSTRs the host handed the module that it has not freed */
} ZrBstrSpyCounts;

/* Patches the module's imports; answers how many import slots now lead to the spy (0: blind). */
int ZrBstrSpyInstall(HMODULE module);
/* Puts the original addresses back and forgets every record. */
void ZrBstrSpyRemove(void);

ZrBstrSpyCounts ZrBstrSpyGetCounts(void);

/* The allocation number of a BSTR the module allocated and has not let go of; 0 otherwise. */
unsigned long ZrBstrSpyLiveAllocation(BSTR text);
/* Whether the allocation `number` of `text` has ended (freed by the module, or reused since). */
int ZrBstrSpyAllocationEnded(BSTR text, unsigned long number);

/* The host takes over a BSTR the module answered or handed over: answers whether it was a live
 * allocation of the module's. The host frees it later with ZrBstrSpyHostFree. */
int ZrBstrSpyHostTakes(BSTR text);
/* Frees a BSTR the host took over; one that was not the module's is left alone. */
void ZrBstrSpyHostFree(BSTR text);
/* A BSTR allocated by the host (not through the module) that the module must free. */
void ZrBstrSpyHostGives(BSTR text);

#ifdef __cplusplus
}
#endif
