#pragma once
// The tools library's product information: the library's own product data. Setting the
// environment variable ZRTOOLS_PRODUCT_INFO_ERROR makes loading fail with its value as the error
// text ("(empty)" for an empty text), so that a host can see how a module reacts.

#include "foundation/win/ZrToolsInterface.h"

class ZrToolsProductInfo final : public IZrProductInfo {
 public:
  // error: when not null, receives the error text on failure (the string it held is replaced).
  bool Load(const wchar_t* module, BSTR* error) override;

  static constexpr wchar_t kFailureVariable[] = L"ZRTOOLS_PRODUCT_INFO_ERROR";
  static constexpr wchar_t kProductName[] = L"Zorvane Stagecore";
  static constexpr int kMajorVersion = 35;
};
