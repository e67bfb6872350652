#pragma once
// Cross-module string handle: lets another module read and fill one ZrString through a vtable.

#include "foundation/ZrString.h"

class IZrDllString {
 public:
  virtual const ZrChar* GetChars() = 0;
  // length -1: up to the terminator.
  virtual void SetChars(const ZrChar* text, int length) = 0;
  virtual void ReleaseBuffer() = 0;
  // A writable buffer of at least minLength characters plus the terminator; the string is exclusive
  // until SetLength.
  virtual ZrChar* GetBuffer(int minLength) = 0;
  // length -1: measure up to the first 0. Ends the exclusive state.
  virtual void SetLength(int length) = 0;
};

class ZrDllString final : public IZrDllString {
 public:
  explicit ZrDllString(ZrString& target) : m_target(target) {}

  const ZrChar* GetChars() override { return m_target.c_str(); }
  void SetChars(const ZrChar* text, int length) override { m_target = ZrString(text, length); }
  void ReleaseBuffer() override { m_target.ReleaseBuffer(-1); }
  ZrChar* GetBuffer(int minLength) override { return m_target.GetBuffer(minLength); }
  void SetLength(int length) override { m_target.ReleaseBuffer(length); }

 private:
  ZrString& m_target;
};
