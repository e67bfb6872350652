#pragma once
// Delete probes: a probe registered with a host learns when the host is destroyed, so a loop that
// calls out of the host (a command handler that may delete its own object) can tell afterwards
// whether it may still touch the host. Every probe list of the module shares one module-wide lock.

#include <memory>

#include "foundation/ZrArray.h"

class IZrDeleteProbe {
 public:
  virtual void OnHostDeleted() = 0;

 protected:
  ~IZrDeleteProbe() = default;
};

class ZrDeleteProbeHost {
 public:
  ZrDeleteProbeHost() = default;
  ZrDeleteProbeHost(const ZrDeleteProbeHost&) = delete;
  ZrDeleteProbeHost& operator=(const ZrDeleteProbeHost&) = delete;
  // Tells every live probe, then drops the list.
  virtual ~ZrDeleteProbeHost();

  void RegisterProbe(IZrDeleteProbe* probe);
  void UnregisterProbe(IZrDeleteProbe* probe);
  int ProbeCount();

 private:
  std::unique_ptr<ZrArray<IZrDeleteProbe*>> m_probes;  // created on first registration
};

// Lives on the stack around a call that may destroy the host.
class ZrDeleteProbe final : public IZrDeleteProbe {
 public:
  explicit ZrDeleteProbe(ZrDeleteProbeHost* host);
  ~ZrDeleteProbe();
  ZrDeleteProbe(const ZrDeleteProbe&) = delete;
  ZrDeleteProbe& operator=(const ZrDeleteProbe&) = delete;

  void OnHostDeleted() override { m_deleted = true; }
  bool IsDeleted() const { return m_deleted; }

 private:
  ZrDeleteProbeHost* m_host;
  bool m_deleted = false;
};
