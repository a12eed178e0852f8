// Tor in the proxy list: probed at start and at "Update Proxy List Now" on a
// job of its own (the dialog's one network job may be the list's download
// meanwhile), offered first while it answers, graded and failed over to like
// any entry, and never written to the list file.
#include "ui/settings_dlg.h"

#include "proxylist/tor_probe.h"

namespace {

// Two ports, each asked for a second at most.
const DWORD kTorProbeLimitMs = 2500;

} // namespace

void CSettingsDlg::ProbeTor()
{
    if (m_bExiting) return;
    auto pFound = std::make_shared<CString>();
    m_pTorFound = pFound;
    m_torProbe.Start(
        kTorProbeLimitMs, [pFound](const CNetDeadline& deadline) { *pFound = FindTorEntry(deadline); }, m_hWnd,
        WM_TOR_PROBE_DONE);
}

LRESULT CSettingsDlg::OnTorProbeDone(WPARAM wParam, LPARAM)
{
    // A notice from a probe let go of (a later one replaced it) is no one's.
    if (m_bExiting || wParam == 0 || wParam != m_torProbe.GetSerial() || !m_pTorFound) return 0;
    CString strFound = *m_pTorFound;
    m_torProbe.Cancel();
    if (strFound == m_strTorEntry) return 0;
    m_strTorEntry = strFound;
    FillProxyCombo(m_entries);
    return 0;
}

void CSettingsDlg::GetEntriesInForce(CStringList& rEntries) const
{
    rEntries.RemoveAll();
    if (!m_strTorEntry.IsEmpty()) rEntries.AddTail(m_strTorEntry);
    for (POSITION pos = m_entries.GetHeadPosition(); pos;) rEntries.AddTail(m_entries.GetNext(pos));
}
