#pragma once
/*
 * The module as a host built with another compiler sees it: only the DLL's exports and the slot
 * numbers of the plug-in interface, driven from C. One implementation serves the in-tree
 * conformance test and the reference host's `validate` command.
 *
 * It loads the module, checks its exports, version resource and imports, the factory, and every
 * plug-in: information keys, settings, raw-input collections, blasting, arguments a careless host
 * passes, every order of Start and Stop, the BSTRs that cross in both directions (through an
 * allocator spy on the module's imports) and the threads each host callback arrives on. Each check
 * is one line handed to `print`.
 */
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*ZrConformancePrintFn)(void* context, const wchar_t* line);

typedef struct ZrConformanceOptions {
  const wchar_t* modulePath; /* the DLL to load */
  int listenMs;              /* after a plug-in starts, how long to wait for its codes; 0: no wait */
  int learnMs;               /* how long to wait for a learned code; 0: no learn is asked for */
  ZrConformancePrintFn print;
  void* context;
} ZrConformanceOptions;

typedef struct ZrConformanceResult {
  int passed;
  int failed;
  int skipped; /* checks that need something absent here, a device sending codes for example */
} ZrConformanceResult;

ZrConformanceResult ZrConformanceRun(const ZrConformanceOptions* options);

#ifdef __cplusplus
}
#endif
