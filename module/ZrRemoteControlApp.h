#pragma once
// This module's application object: a DLL of the family with nothing of its own beyond start-up.

#include "module/ZrApp.h"

class ZrRemoteControlApp : public ZrDllApp {
 public:
  ZrRemoteControlApp();
  // Static destruction at unload: releases the tools library unless the process is ending.
  ~ZrRemoteControlApp() override;
};
