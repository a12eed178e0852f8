// CMenu, CCmdUI and the popup update walk.
#include "framework/win/menu.h"

#include "framework/win/win_app.h"

#include <map>
#include <memory>

namespace {

thread_local HMENU t_hTrackingMenu = nullptr;

std::map<HMENU, std::unique_ptr<CMenu>>& TemporaryMenus()
{
    thread_local std::map<HMENU, std::unique_ptr<CMenu>> s_map;
    return s_map;
}

} // namespace

CMenu* CMenu::FromHandle(HMENU hMenu)
{
    if (!hMenu) return nullptr;
    auto& map = TemporaryMenus();
    auto it = map.find(hMenu);
    if (it == map.end()) {
        auto p = std::make_unique<CMenu>();
        p->m_hMenu = hMenu;
        p->m_bOwned = FALSE;
        it = map.emplace(hMenu, std::move(p)).first;
    }
    return it->second.get();
}

BOOL CMenu::LoadMenu(LPCTSTR lpszResourceName)
{
    HMENU h = ::LoadMenuA(AfxGetResourceHandle(), lpszResourceName);
    return h ? Attach(h) : FALSE;
}

BOOL CMenu::Attach(HMENU hMenu)
{
    if (!hMenu || m_hMenu) return FALSE;
    m_hMenu = hMenu;
    m_bOwned = TRUE;
    return TRUE;
}

HMENU CMenu::Detach()
{
    HMENU h = m_hMenu;
    m_hMenu = nullptr;
    return h;
}

BOOL CMenu::DestroyMenu()
{
    if (!m_hMenu || !m_bOwned) return FALSE;
    TemporaryMenus().erase(m_hMenu);
    BOOL b = ::DestroyMenu(m_hMenu);
    m_hMenu = nullptr;
    return b;
}

HMENU CMenu::GetTrackingMenu()
{
    return t_hTrackingMenu;
}

BOOL CMenu::TrackPopupMenu(UINT nFlags, int x, int y, CWnd* pWnd, LPCRECT lpRect)
{
    HMENU hPrevious = t_hTrackingMenu;
    t_hTrackingMenu = m_hMenu;
    BOOL b = ::TrackPopupMenu(m_hMenu, nFlags, x, y, 0, pWnd ? pWnd->m_hWnd : nullptr, lpRect);
    t_hTrackingMenu = hPrevious;
    return b;
}

void CCmdUI::Enable(BOOL bOn)
{
    CMenu* pMenu = m_pSubMenu ? m_pParentMenu : m_pMenu;
    if (pMenu)
        ::EnableMenuItem(pMenu->m_hMenu, m_nIndex, MF_BYPOSITION | (bOn ? MF_ENABLED : (MF_DISABLED | MF_GRAYED)));
    m_bEnableChanged = TRUE;
}

void CCmdUI::SetCheck(int nCheck)
{
    // A sub-menu item carries no check mark of its own.
    if (m_pMenu && !m_pSubMenu)
        ::CheckMenuItem(m_pMenu->m_hMenu, m_nIndex, MF_BYPOSITION | (nCheck ? MF_CHECKED : MF_UNCHECKED));
}

void CCmdUI::SetText(LPCTSTR lpszText)
{
    if (!m_pMenu || m_pSubMenu) return;
    // The item keeps its id and its enabled state; only the words change.
    UINT nState = ::GetMenuState(m_pMenu->m_hMenu, m_nIndex, MF_BYPOSITION) & (MF_DISABLED | MF_GRAYED | MF_CHECKED);
    ::ModifyMenuA(m_pMenu->m_hMenu, m_nIndex, MF_BYPOSITION | MF_STRING | nState, m_nID, lpszText);
}

BOOL CCmdUI::DoUpdate(CWnd* pTarget, BOOL bDisableIfNoHandler)
{
    m_bEnableChanged = FALSE;
    BOOL bHandled = pTarget->OnCmdMsg(m_nID, CN_UPDATE_COMMAND_UI, this);
    if (bDisableIfNoHandler && !bHandled && !m_bEnableChanged) Enable(FALSE);
    return bHandled;
}

void AfxUpdateMenuPopup(CWnd* pTarget, CMenu* pPopupMenu, BOOL bSysMenu)
{
    if (bSysMenu || !pPopupMenu) return;

    CCmdUI state;
    state.m_pMenu = pPopupMenu;
    // A tracked popup is its own parent; otherwise look for it on the bar.
    if (CMenu::GetTrackingMenu() == pPopupMenu->m_hMenu) {
        state.m_pParentMenu = pPopupMenu;
    } else if (HMENU hBar = ::GetMenu(pTarget->GetSafeHwnd())) {
        int n = ::GetMenuItemCount(hBar);
        for (int i = 0; i < n; ++i) {
            if (::GetSubMenu(hBar, i) == pPopupMenu->m_hMenu) {
                state.m_pParentMenu = CMenu::FromHandle(hBar);
                break;
            }
        }
    }

    state.m_nIndexMax = pPopupMenu->GetMenuItemCount();
    for (state.m_nIndex = 0; state.m_nIndex < state.m_nIndexMax; state.m_nIndex++) {
        state.m_nID = pPopupMenu->GetMenuItemID(state.m_nIndex);
        if (state.m_nID == 0) continue; // separators and id-0 items
        if (state.m_nID == (UINT)-1) {
            state.m_pSubMenu = pPopupMenu->GetSubMenu(state.m_nIndex);
            if (!state.m_pSubMenu) continue;
            state.m_nID = state.m_pSubMenu->GetMenuItemID(0);
            if (state.m_nID == 0 || state.m_nID == (UINT)-1) continue;
            state.DoUpdate(pTarget, FALSE);
        } else {
            state.m_pSubMenu = nullptr;
            state.DoUpdate(pTarget, FALSE);
        }

        // A handler may have removed items: step back over what went and
        // skip what still carries the id just updated.
        UINT nCount = pPopupMenu->GetMenuItemCount();
        if (nCount < state.m_nIndexMax) {
            state.m_nIndex -= (state.m_nIndexMax - nCount);
            while (state.m_nIndex < nCount && pPopupMenu->GetMenuItemID(state.m_nIndex) == state.m_nID)
                state.m_nIndex++;
        }
        state.m_nIndexMax = nCount;
    }
}
