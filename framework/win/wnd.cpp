// CWnd: message-map search and the thread's wrappers for foreign windows.
#include "framework/win/wnd.h"

#include "framework/win/menu.h"

#include <map>
#include <memory>

namespace {

// Wrappers for windows the program did not make: one per handle, kept for
// the thread's life (a dialog has a few dozen controls at most).
std::map<HWND, std::unique_ptr<CWnd>>& TemporaryWindows()
{
    thread_local std::map<HWND, std::unique_ptr<CWnd>> s_map;
    return s_map;
}

} // namespace

// Windows of our own carry their object here (set by the dialog procedure).
CWnd* AfxObjectOfWindow(HWND hWnd);

CWnd::~CWnd()
{
    // The object goes before its window (a test that failed part way): the
    // window must not reach a dead object.
    if (m_hWnd && AfxObjectOfWindow(m_hWnd) == this) SetWindowLongPtrA(m_hWnd, DWLP_USER, 0);
}

BOOL CWnd::Attach(HWND hWnd)
{
    if (!hWnd || m_hWnd) return FALSE;
    m_hWnd = hWnd;
    return TRUE;
}

HWND CWnd::Detach()
{
    HWND h = m_hWnd;
    m_hWnd = nullptr;
    return h;
}

CWnd* CWnd::FromHandle(HWND hWnd)
{
    if (!hWnd) return nullptr;
    if (CWnd* pOwn = AfxObjectOfWindow(hWnd)) return pOwn;
    auto& map = TemporaryWindows();
    auto it = map.find(hWnd);
    if (it == map.end()) {
        auto p = std::make_unique<CWnd>();
        p->m_hWnd = hWnd;
        it = map.emplace(hWnd, std::move(p)).first;
    }
    return it->second.get();
}

BOOL CWnd::DestroyWindow()
{
    if (!m_hWnd) return FALSE;
    return ::DestroyWindow(m_hWnd);
}

void CWnd::GetWindowText(CString& rString) const
{
    int n = ::GetWindowTextLengthA(m_hWnd);
    LPTSTR p = rString.GetBuffer(n + 1);
    int got = ::GetWindowTextA(m_hWnd, p, n + 1);
    rString.ReleaseBuffer(got > 0 ? got : 0);
}

CMenu* CWnd::GetSystemMenu(BOOL bRevert) const
{
    return CMenu::FromHandle(::GetSystemMenu(m_hWnd, bRevert));
}

const AFX_MSGMAP* CWnd::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, nullptr}};
    static const AFX_MSGMAP map = {nullptr, &entries[0]};
    return &map;
}

const AFX_MSGMAP_ENTRY* CWnd::FindEntry(const AFX_MSGMAP* pMap, UINT nMessage, UINT nCode, UINT nID)
{
    for (; pMap; pMap = pMap->pfnGetBaseMap ? pMap->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* e = pMap->lpEntries; e->nMessage; ++e) {
            if (e->nMessage != nMessage) continue;
            if (nMessage == WM_COMMAND && (e->nCode != nCode || e->nID != nID)) continue;
            return e;
        }
    }
    return nullptr;
}

LRESULT CWnd::Default()
{
    m_bDefaultAsked = TRUE;
    return 0;
}

BOOL CWnd::OnCmdMsg(UINT nID, UINT nCode, void* pExtra)
{
    // A menu item with id 0 ("Close This Menu") only closes the menu.
    if (nID == 0) return FALSE;
    const AFX_MSGMAP_ENTRY* e = FindEntry(GetMessageMap(), WM_COMMAND, nCode, nID);
    if (!e) return FALSE;
    e->pfn(this, MAKEWPARAM(nID, nCode), reinterpret_cast<LPARAM>(pExtra));
    return TRUE;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam)
{
    UINT nID = LOWORD(wParam);
    // Menus send code 0 and accelerators 1: both are commands.
    UINT nCode = lParam ? HIWORD(wParam) : 0;
    return OnCmdMsg(nID, nCode, reinterpret_cast<void*>(lParam));
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    BOOL bSavedDefault = m_bDefaultAsked;
    m_bDefaultAsked = FALSE;
    BOOL bHandled = FALSE;
    LRESULT lResult = 0;
    if (message == WM_COMMAND) {
        bHandled = OnCommand(wParam, lParam);
    } else if (const AFX_MSGMAP_ENTRY* e = FindEntry(GetMessageMap(), message, 0, 0)) {
        lResult = e->pfn(this, wParam, lParam);
        bHandled = TRUE;
    }
    if (m_bDefaultAsked) bHandled = FALSE;
    m_bDefaultAsked = bSavedDefault;
    if (pResult) *pResult = lResult;
    return bHandled;
}
