#include "module/ZrRemoteControlApp.h"

#include "module/ZrToolsLibrary.h"

ZrRemoteControlApp::ZrRemoteControlApp() = default;

ZrRemoteControlApp::~ZrRemoteControlApp() {
  // At process exit the loader unmaps the tools library itself, possibly before us.
  if (!m_processTerminating) ZrReleaseToolsLibrary();
}
