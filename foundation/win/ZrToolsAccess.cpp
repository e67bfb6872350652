#include "foundation/win/ZrToolsAccess.h"

#include <atomic>

namespace {
std::atomic<IZrTools*> g_tools{nullptr};
}

IZrTools* ZrGetTools() { return g_tools.load(); }

void ZrSetTools(IZrTools* tools) { g_tools.store(tools); }

IZrLogger* ZrGetLogger() {
  IZrTools* tools = ZrGetTools();
  return tools ? tools->GetLogger(0) : nullptr;
}

IZrMainThreadMessageManager* ZrGetMainThreadMessageManager() {
  IZrTools* tools = ZrGetTools();
  if (!tools || !tools->GetMainThreadMessageManager(0)) return nullptr;
  return tools->GetMainThreadMessageManager(1);
}

IZrTextUtils* ZrGetTextUtils() {
  IZrTools* tools = ZrGetTools();
  return tools ? tools->GetTextUtils(1, 0) : nullptr;
}

IZrMessageDispatcher* ZrGetMessageDispatcher() {
  IZrTools* tools = ZrGetTools();
  if (!tools) return nullptr;
  IZrMessageDispatch* dispatch = tools->GetMessageDispatch(1);
  return dispatch ? dispatch->GetDispatcher(1) : nullptr;
}

void ZrLog(int level, const char* scope, const char16_t* format, std::initializer_list<ZrFormatArg> args) {
  if (IZrLogger* logger = ZrGetLogger())
    logger->WriteW(level, scope, ZrW(format), args.begin(), static_cast<int>(args.size()));
}

void ZrTranslate(ZrString& text) {
  IZrTools* tools = ZrGetTools();
  if (!tools || text.IsEmpty()) return;
  if (IZrTranslator* translator = tools->GetTranslator(1)) {
    ZrDllString handle(text);
    translator->Translate(&handle);
  }
}

ZrHostRegistryKeyHandle ZrOpenHostRegistryKey(const ZrString& path, int flags) {
  IZrTools* tools = ZrGetTools();
  return ZrHostRegistryKeyHandle(tools ? tools->OpenHostRegistryKey(ZrW(path.c_str()), flags, 0) : nullptr);
}
