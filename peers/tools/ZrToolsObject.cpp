#include "peers/tools/ZrToolsObject.h"

#include <vector>

#include "foundation/win/ZrModuleInstance.h"
#include "peers/tools/ZrToolsPaths.h"

namespace {

// A path from the environment overrides the default one, so that a test or a user can point the
// library at another translation table.
ZrString TranslationsPath() {
  const DWORD needed = GetEnvironmentVariableW(L"ZRTOOLS_TRANSLATIONS", nullptr, 0);
  if (needed) {
    std::vector<wchar_t> text(needed + 1, 0);
    GetEnvironmentVariableW(L"ZRTOOLS_TRANSLATIONS", text.data(), needed + 1);
    return ZrString(ZrU(text.data()));
  }
  return ZrToolsInstallDirectory() + u"Translations.txt";
}

// Without an application data directory the log goes to the debugger output only.
ZrString LogPath() {
  const ZrString folder = ZrToolsAppDataDirectory();
  return folder.IsEmpty() ? ZrString() : folder + u"ZrTools.log";
}

}  // namespace

ZrToolsObject& ZrToolsObject::Instance() {
  // Never destroyed: modules may still hold the object while the process tears down.
  static ZrToolsObject* object = new ZrToolsObject(ZrString(ZrHostRegistryKey::kDefaultRoot), LogPath(),
                                                   TranslationsPath());
  return *object;
}

ZrToolsObject::ZrToolsObject(ZrString registryRoot, ZrString logPath, ZrString translationsPath)
    : m_registryRoot(std::move(registryRoot)),
      m_logPath(std::move(logPath)),
      m_translationsPath(std::move(translationsPath)) {}

ZrToolsObject::~ZrToolsObject() = default;

bool ZrToolsObject::Initialise(void*, HINSTANCE) {
  std::lock_guard<std::mutex> lock(m_lock);
  if (m_clients++ == 0) {
    m_messages.Create(ZrGetModuleInstance());
    if (!m_translationsPath.IsEmpty()) m_translator.LoadFile(m_translationsPath);
  }
  return true;
}

void ZrToolsObject::ProductInfoLoaded(int) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_productInfoLoaded = true;
}

IZrTextUtils* ZrToolsObject::GetTextUtils(int, int) { return &m_textUtils; }

IZrTranslator* ZrToolsObject::GetTranslator(int) { return &m_translator; }

IZrProductInfo* ZrToolsObject::GetProductInfo(int) { return &m_productInfo; }

bool ZrToolsObject::IsProductInfoLoaded() {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_productInfoLoaded;
}

IZrLogger* ZrToolsObject::GetLogger(int) {
  std::lock_guard<std::mutex> lock(m_lock);
  if (!m_logger) m_logger = std::make_unique<ZrToolsLogger>(m_logPath);
  return m_logger.get();
}

IZrMainThreadMessageManager* ZrToolsObject::GetMainThreadMessageManager(int) {
  return m_messages.IsCreated() ? &m_messages : nullptr;
}

IZrMessageDispatch* ZrToolsObject::GetMessageDispatch(int) { return this; }

IZrHostRegistryKey* ZrToolsObject::OpenHostRegistryKey(const wchar_t* path, int flags, int) {
  return ZrHostRegistryKey::Open(m_registryRoot, path, flags);
}

bool ZrToolsObject::InstallDirectoryKnown() {
  if (!m_translationsPath.IsEmpty()) m_translator.LoadFile(m_translationsPath);
  return true;
}

void ZrToolsObject::Shutdown(bool final) {
  std::lock_guard<std::mutex> lock(m_lock);
  if (!final || m_clients == 0 || --m_clients > 0) return;
  m_messages.Destroy();
  m_productInfoLoaded = false;
}

IZrMessageDispatcher* ZrToolsObject::GetDispatcher(int) { return this; }

void ZrToolsObject::Dispatch(MSG* message) {
  if (!message) return;
  TranslateMessage(message);
  DispatchMessageW(message);
}

int ZrToolsObject::Clients() {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_clients;
}
