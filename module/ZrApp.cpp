#include "module/ZrApp.h"

#include <clocale>

#include "foundation/ZrFormat.h"
#include "foundation/ZrString.h"
#include "foundation/win/ZrHandle.h"
#include "foundation/win/ZrModuleInstance.h"
#include "foundation/win/ZrModuleLocks.h"
#include "foundation/win/ZrToolsAccess.h"
#include "foundation/win/ZrBoundary.h"
#include "module/ZrToolsLibrary.h"

namespace {

std::atomic<ZrApp*> g_app{nullptr};

}  // namespace

ZrApp* ZrGetApp() { return g_app.load(); }

ZrApp::ZrApp() {
  // Static initialisation: strings first, then this object, then the locks, before any attach.
  ZrStringGlobals::Instance();
  g_app = this;
  m_attachCount = 0;
  ZrModuleLocks::Initialise();
}

ZrApp::~ZrApp() {
  ZrApp* self = this;
  g_app.compare_exchange_strong(self, nullptr);
}

BOOL ZrApp::OnDllMain(HINSTANCE instance, DWORD reason, void* reserved) {
  return ZrNoThrow<BOOL>(FALSE, [&]() -> BOOL {
    switch (reason) {
      case DLL_PROCESS_ATTACH:
        if (++m_attachCount == 1) {
          m_instance = instance;
          ZrSetModuleInstance(instance);
          if (!InitInstance()) {
            ExitInstance();
            return FALSE;
          }
        }
        return TRUE;
      case DLL_PROCESS_DETACH:
        m_processTerminating = reserved != nullptr;
        if (m_attachCount-- == 1) ExitInstance();
        return TRUE;
      default:
        return TRUE;
    }
  });
}

int ZrApp::RunAsProgram(HINSTANCE instance, HINSTANCE, int show) {
  m_instance = instance;
  m_show = show;
  if (InitInstance()) Run();
  ExitInstance();
  return m_exitCode;
}

int ZrApp::RunAsProgram() { return RunAsProgram(GetModuleHandleW(nullptr), nullptr, SW_SHOWDEFAULT); }

bool ZrApp::InitInstance() { return true; }

bool ZrApp::ExitInstance() { return true; }

void ZrApp::Run() {}

bool ZrApp::Reserved7() { return true; }

void ZrApp::Reserved8() {}

bool ZrApp::Reserved9() { return true; }

bool ZrDllApp::InitInstance() {
  _wsetlocale(LC_ALL, L"");
  ZrStringGlobals::Instance().RebuildTables();
  return NeedsProductInfo() ? LoadProductInfo() : true;
}

bool ZrDllApp::ExitInstance() {
  ZrShutdownToolsLibrary();
  return true;
}

bool ZrDllApp::LoadProductInfo() {
  // Another module of the process may have done this already.
  if (IZrTools* tools = ZrGetTools(); tools && tools->IsProductInfoLoaded()) return true;

  const bool loaded = ZrLoadToolsLibrary();
  // A sibling module that loaded the library before us may have loaded the information too.
  if (IZrTools* tools = loaded ? ZrGetTools() : nullptr; tools && tools->IsProductInfoLoaded()) return true;
  // The library may replace the string it is given; what comes back is ours to free.
  ZrBstr ownedError(SysAllocString(L""));
  bool succeeded = false;
  if (IZrTools* tools = loaded ? ZrGetTools() : nullptr) {
    IZrProductInfo* info = tools->GetProductInfo(1);
    succeeded = info && info->Load(L"", ownedError.addressof());
    if (succeeded) tools->ProductInfoLoaded(0);
  }
  if (succeeded) return true;

  ZrString error;
  if (!loaded)
    error = u"Failed to load ZrTools";
  else if ((error = ZrReadableText(ownedError.get())).IsEmpty())
    error = u"Unknown error loading product information";
  ReportCriticalError(error);
  return false;
}

void ZrDllApp::ReportCriticalError(const ZrString& error) {
  const ZrString path = ZrGetModuleFileName(m_instance ? m_instance : ZrGetModuleInstance());
  const ZrString text = ZrFormatV(
      u"The following module has failed to load:\r\n%s\r\n\r\nIt has reported the following error:\r\n\r\n%s"
      u"\r\n\r\nPlease reinstall the latest version of the program.",
      {path, error});
  MessageBoxW(nullptr, ZrW(text.c_str()), L"Critical Error", MB_OK);
}

bool ZrDllApp::Reserved11() { return true; }

void ZrDllApp::Reserved12() {}

bool ZrDllApp::NeedsProductInfo() { return true; }
