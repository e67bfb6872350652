#include "foundation/win/ZrDeleteProbe.h"

#include "foundation/win/ZrModuleLocks.h"

ZrDeleteProbeHost::~ZrDeleteProbeHost() {
  ZrLock lock(ZrModuleLocks::DeleteProbes());
  if (!m_probes) return;
  for (IZrDeleteProbe* probe : *m_probes) probe->OnHostDeleted();
  m_probes.reset();
}

void ZrDeleteProbeHost::RegisterProbe(IZrDeleteProbe* probe) {
  ZrLock lock(ZrModuleLocks::DeleteProbes());
  if (!m_probes) m_probes = std::make_unique<ZrArray<IZrDeleteProbe*>>();
  m_probes->Add(probe);
}

void ZrDeleteProbeHost::UnregisterProbe(IZrDeleteProbe* probe) {
  ZrLock lock(ZrModuleLocks::DeleteProbes());
  if (!m_probes) return;
  const int index = m_probes->Find(probe);
  if (index >= 0) m_probes->RemoveAt(index);
}

int ZrDeleteProbeHost::ProbeCount() {
  ZrLock lock(ZrModuleLocks::DeleteProbes());
  return m_probes ? m_probes->GetCount() : 0;
}

ZrDeleteProbe::ZrDeleteProbe(ZrDeleteProbeHost* host) : m_host(host) {
  if (m_host) m_host->RegisterProbe(this);
}

ZrDeleteProbe::~ZrDeleteProbe() {
  if (!m_host) return;
  // Checked under the lock that the host's destructor holds while it tells its probes: a deleted
  // host is gone, and its list went with it.
  ZrLock lock(ZrModuleLocks::DeleteProbes());
  if (!m_deleted) m_host->UnregisterProbe(this);
}
