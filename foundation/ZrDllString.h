#pragma once
// Cross-module string handle: lets another module read and fill one ZrString through a vtable.

#include "foundation/ZrNoThrow.h"
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

// Another module calls these: a failure to allocate leaves the target as it was (GetBuffer then
// answers null) instead of unwinding into the caller.
class ZrDllString final : public IZrDllString {
 public:
  explicit ZrDllString(ZrString& target) : m_target(target) {}

  const ZrChar* GetChars() noexcept override { return m_target.c_str(); }
  void SetChars(const ZrChar* text, int length) noexcept override {
    ZrNoThrowVoid([&] { m_target = ZrString(text, length); });
  }
  void ReleaseBuffer() noexcept override {
    ZrNoThrowVoid([&] { m_target.ReleaseBuffer(-1); });
  }
  ZrChar* GetBuffer(int minLength) noexcept override {
    return ZrNoThrow<ZrChar*>(nullptr, [&] { return m_target.GetBuffer(minLength); });
  }
  void SetLength(int length) noexcept override {
    ZrNoThrowVoid([&] { m_target.ReleaseBuffer(length); });
  }

 private:
  ZrString& m_target;
};
