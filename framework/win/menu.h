// CMenu: a menu handle, destroyed with the object when the object owns it;
// FromHandle gives non-owning wrappers for sub-menus and system menus.
// CCmdUI and AfxUpdateMenuPopup let a window's update handlers set check
// marks and enabled states of a popup before it shows.
#pragma once

#include "framework/win/wnd.h"

#include <windows.h>

class CMenu {
public:
    CMenu() = default;
    ~CMenu() { DestroyMenu(); }
    CMenu(const CMenu&) = delete;
    CMenu& operator=(const CMenu&) = delete;

    HMENU m_hMenu = nullptr;
    operator HMENU() const { return m_hMenu; }

    static CMenu* FromHandle(HMENU hMenu);

    BOOL LoadMenu(UINT nIDResource) { return LoadMenu(MAKEINTRESOURCEA(nIDResource)); }
    BOOL LoadMenu(LPCTSTR lpszResourceName);
    BOOL Attach(HMENU hMenu);
    HMENU Detach();
    BOOL DestroyMenu();

    CMenu* GetSubMenu(int nPos) const { return FromHandle(::GetSubMenu(m_hMenu, nPos)); }
    UINT GetMenuItemCount() const { return (UINT)::GetMenuItemCount(m_hMenu); }
    UINT GetMenuItemID(int nPos) const { return ::GetMenuItemID(m_hMenu, nPos); }
    UINT GetMenuState(UINT nID, UINT nFlags) const { return ::GetMenuState(m_hMenu, nID, nFlags); }
    BOOL AppendMenu(UINT nFlags, UINT_PTR nIDNewItem = 0, LPCTSTR lpszNewItem = nullptr)
    {
        return ::AppendMenuA(m_hMenu, nFlags, nIDNewItem, lpszNewItem);
    }
    BOOL SetDefaultItem(UINT uItem, BOOL fByPos = FALSE) { return ::SetMenuDefaultItem(m_hMenu, uItem, fByPos); }
    UINT GetDefaultItem(UINT gmdiFlags, BOOL fByPos = FALSE) const
    {
        return ::GetMenuDefaultItem(m_hMenu, fByPos, gmdiFlags);
    }
    // Shows the popup; while it is open it is the thread's tracked menu.
    BOOL TrackPopupMenu(UINT nFlags, int x, int y, CWnd* pWnd, LPCRECT lpRect = nullptr);

    // The popup being tracked by this thread, or null.
    static HMENU GetTrackingMenu();

private:
    BOOL m_bOwned = TRUE;
};

// The state of one menu item while its owner's update handlers run.
class CCmdUI {
public:
    UINT m_nID = 0;
    UINT m_nIndex = 0;
    UINT m_nIndexMax = 0;
    CMenu* m_pMenu = nullptr;
    CMenu* m_pSubMenu = nullptr; // set when the item opens a sub-menu
    CMenu* m_pParentMenu = nullptr;
    BOOL m_bEnableChanged = FALSE;

    void Enable(BOOL bOn = TRUE);
    void SetCheck(int nCheck = 1);
    // The item's text (a sub-menu item keeps its own).
    void SetText(LPCTSTR lpszText);
    // Runs the target's update handler for m_nID; without one the item is
    // disabled only when bDisableIfNoHandler is set. TRUE when one ran.
    BOOL DoUpdate(CWnd* pTarget, BOOL bDisableIfNoHandler);
};

// The walk a frame window makes over a popup before it shows: every item
// with an id gets its update handler; a sub-menu item takes its first
// item's id; items are never disabled for lack of a handler. System menus
// are left alone.
void AfxUpdateMenuPopup(CWnd* pTarget, CMenu* pPopupMenu, BOOL bSysMenu);
