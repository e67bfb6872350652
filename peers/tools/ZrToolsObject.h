#pragma once
// The tools object a module gets from "GetZrToolsDLL": one per process, shared by every module of
// the product family that loads the library. Each module calls Initialise once and Shutdown(true)
// once; the main-thread message manager lives from the first Initialise to the last Shutdown.

#include <mutex>
#include <memory>

#include "foundation/ZrString.h"
#include "peers/tools/ZrHostRegistryKey.h"
#include "peers/tools/ZrMainThreadMessages.h"
#include "peers/tools/ZrToolsLogger.h"
#include "peers/tools/ZrToolsProductInfo.h"
#include "peers/tools/ZrToolsTextUtils.h"
#include "peers/tools/ZrToolsTranslator.h"

class ZrToolsObject final : public IZrTools, public IZrMessageDispatch, public IZrMessageDispatcher {
 public:
  // The library's own object, with the host registry root and the files of this process.
  static ZrToolsObject& Instance();

  // registryRoot: below HKEY_CURRENT_USER, ending in a backslash. logPath: empty for no log file.
  // translationsPath: the table read at Initialise and when the install directory becomes known.
  ZrToolsObject(ZrString registryRoot, ZrString logPath, ZrString translationsPath);
  ~ZrToolsObject();

  // The thread of the first call becomes the thread that delivers main-thread messages.
  bool Initialise(void* settings, HINSTANCE module) override;
  void ProductInfoLoaded(int reserved) override;
  IZrTextUtils* GetTextUtils(int which, int option) override;
  IZrTranslator* GetTranslator(int which) override;
  IZrProductInfo* GetProductInfo(int which) override;
  bool IsProductInfoLoaded() override;
  IZrLogger* GetLogger(int which) override;
  IZrMainThreadMessageManager* GetMainThreadMessageManager(int which) override;
  IZrMessageDispatch* GetMessageDispatch(int which) override;
  IZrHostRegistryKey* OpenHostRegistryKey(const wchar_t* path, int flags, int reserved) override;
  bool InstallDirectoryKnown() override;
  void Shutdown(bool final) override;

  IZrMessageDispatcher* GetDispatcher(int which) override;
  void Dispatch(MSG* message) override;

  int Clients();

 private:
  std::mutex m_lock;
  const ZrString m_registryRoot;
  const ZrString m_logPath;
  const ZrString m_translationsPath;
  int m_clients = 0;
  bool m_productInfoLoaded = false;
  std::unique_ptr<ZrToolsLogger> m_logger;
  ZrMainThreadMessages m_messages;
  ZrToolsTranslator m_translator;
  ZrToolsTextUtils m_textUtils;
  ZrToolsProductInfo m_productInfo;
};
