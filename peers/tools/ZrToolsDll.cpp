// ZrTools.dll: the one export through which modules of the product family reach the library.

#include "peers/tools/ZrToolsObject.h"

extern "C" IZrTools* GetZrToolsDLL(int interfaceVersion) {
  if (interfaceVersion != kZrToolsInterfaceVersion) return nullptr;
  try {
    return &ZrToolsObject::Instance();
  } catch (...) {
    return nullptr;
  }
}
