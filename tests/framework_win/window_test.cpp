// The window half of the framework: message maps searched subclass first,
// the default processing a handler asks for, commands and their id 0, data
// exchange, the popup update walk, and the modal loop's visibility.
#include "framework/win/dialog.h"
#include "framework/win/menu.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const UINT IDD_PLAIN = 200;
const UINT IDD_VISIBLE = 201;
const UINT IDR_TESTMENU = 300;

class CBaseDlg : public CDialog {
public:
    CBaseDlg(UINT nID) : CDialog(nID) {}
    std::vector<std::string> calls;
    void OnFirst() { calls.push_back("base 40001"); }
    void OnStays() { calls.push_back("base 40003"); }
    void OnTimer(UINT_PTR) { calls.push_back("base timer"); }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CBaseDlg, CDialog)
    ON_COMMAND(40001, OnFirst)
    ON_COMMAND(40003, OnStays)
    ON_WM_TIMER()
END_MESSAGE_MAP()

class CDerivedDlg : public CBaseDlg {
public:
    explicit CDerivedDlg(UINT nID = IDD_PLAIN) : CBaseDlg(nID) {}
    int m_nCheck = 1;
    CString m_strText = "typed";
    UINT m_nHideAtTick = 0; // timer that hides the dialog, 0 for none
    CMenu* m_pDeleteFrom = nullptr;

    void OnFirst() { calls.push_back("derived 40001"); }
    void OnZero() { calls.push_back("id 0"); }
    void OnPaint()
    {
        calls.push_back("paint");
        Default(); // the dialog paints itself
    }
    void OnUpdateFirst(CCmdUI* p)
    {
        calls.push_back("update 40001");
        p->SetCheck(1);
    }
    void OnUpdateGoesAway(CCmdUI* p)
    {
        calls.push_back("update 40002");
        ::DeleteMenu(p->m_pMenu->m_hMenu, 40002, MF_BYCOMMAND);
    }
    void OnUpdateStays(CCmdUI* p)
    {
        calls.push_back("update 40003");
        p->Enable(FALSE);
    }
    void OnUpdateSubFirst(CCmdUI*) { calls.push_back("update 40004"); }
    void OnTimer(UINT_PTR nID)
    {
        if (nID == m_nHideAtTick) {
            KillTimer(nID);
            ShowWindow(SW_HIDE);
            // Idle for a while inside the loop, then end it.
            SetTimer(99, 200);
        } else if (nID == 99) {
            KillTimer(99);
            calls.push_back(IsWindowVisible() ? "visible at the end" : "hidden at the end");
            EndDialog(7);
        }
    }
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        if (m_nHideAtTick) SetTimer(m_nHideAtTick, 1);
        return TRUE;
    }

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Check(pDX, 1001, m_nCheck);
        DDX_Text(pDX, 1002, m_strText);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CDerivedDlg, CBaseDlg)
    ON_COMMAND(40001, OnFirst)
    ON_COMMAND(0, OnZero)
    ON_WM_PAINT()
    ON_WM_TIMER()
    ON_UPDATE_COMMAND_UI(40001, OnUpdateFirst)
    ON_UPDATE_COMMAND_UI(40002, OnUpdateGoesAway)
    ON_UPDATE_COMMAND_UI(40003, OnUpdateStays)
    ON_UPDATE_COMMAND_UI(40004, OnUpdateSubFirst)
END_MESSAGE_MAP()

} // namespace

TEST(WindowLayer, MapsAreSearchedSubclassFirstAndCommandZeroGoesNowhere)
{
    CDerivedDlg dlg;
    ASSERT_TRUE(dlg.Create());
    dlg.SendMessage(WM_COMMAND, 40001, 0);
    dlg.SendMessage(WM_COMMAND, 40003, 0);
    dlg.SendMessage(WM_COMMAND, 0, 0);
    EXPECT_EQ((std::vector<std::string>{"derived 40001", "base 40003"}), dlg.calls);

    // A handler that asks for the default processing leaves the message to
    // the dialog: the paint really happens, the update region is gone.
    dlg.calls.clear();
    dlg.ShowWindow(SW_SHOW);
    InvalidateRect(dlg.m_hWnd, nullptr, TRUE);
    UpdateWindow(dlg.m_hWnd);
    EXPECT_EQ(std::vector<std::string>{"paint"}, dlg.calls);
    RECT r;
    EXPECT_FALSE(GetUpdateRect(dlg.m_hWnd, &r, FALSE));
    dlg.DestroyWindow();
}

TEST(WindowLayer, DataExchangeMovesMembersToControlsAndBack)
{
    CDerivedDlg dlg;
    ASSERT_TRUE(dlg.Create()); // initialisation puts the members in
    char text[32] = "";
    GetDlgItemTextA(dlg.m_hWnd, 1002, text, sizeof text);
    EXPECT_STREQ("typed", text);
    EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(dlg.m_hWnd, 1001));

    SetDlgItemTextA(dlg.m_hWnd, 1002, "changed");
    CheckDlgButton(dlg.m_hWnd, 1001, BST_UNCHECKED);
    dlg.UpdateData(TRUE);
    EXPECT_EQ("changed", dlg.m_strText);
    EXPECT_EQ(0, dlg.m_nCheck);
    dlg.DestroyWindow();
}

TEST(WindowLayer, PopupWalkUpdatesEveryItemOnceAndSurvivesARemovedItem)
{
    CDerivedDlg dlg;
    ASSERT_TRUE(dlg.Create());
    CMenu menu;
    ASSERT_TRUE(menu.LoadMenu(IDR_TESTMENU));
    CMenu* pPopup = menu.GetSubMenu(0);

    AfxUpdateMenuPopup(&dlg, pPopup, FALSE);
    // Separators skipped; the sub-menu item routed to its first item; the
    // item after a removed one updated exactly once.
    EXPECT_EQ((std::vector<std::string>{"update 40001", "update 40002", "update 40003", "update 40004"}), dlg.calls);
    EXPECT_TRUE(pPopup->GetMenuState(40001, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_EQ(0xFFFFFFFFu, pPopup->GetMenuState(40002, MF_BYCOMMAND)) << "removed by its handler";
    EXPECT_TRUE(pPopup->GetMenuState(40003, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_FALSE(pPopup->GetMenuState(40005, MF_BYCOMMAND) & MF_GRAYED) << "no handler: left enabled";

    // A system menu is left alone.
    dlg.calls.clear();
    AfxUpdateMenuPopup(&dlg, pPopup, TRUE);
    EXPECT_TRUE(dlg.calls.empty());
    dlg.DestroyWindow();
}

TEST(WindowLayer, ModalLoopShowsAnInvisibleTemplateAndKeepsAHiddenDialogHidden)
{
    // A template without WS_VISIBLE is shown; OK ends it with IDOK.
    {
        CDerivedDlg dlg(IDD_PLAIN);
        struct Ctx {
            static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD)
            {
                HWND h = FindWindowA(nullptr, "Plain");
                if (h && IsWindowVisible(h)) {
                    KillTimer(nullptr, id);
                    SendMessageA(GetDlgItem(h, IDOK), BM_CLICK, 0, 0);
                }
            }
        };
        UINT_PTR id = SetTimer(nullptr, 0, 20, Ctx::Tick);
        EXPECT_EQ(IDOK, dlg.DoModal());
        KillTimer(nullptr, id);
    }
    // A visible one that hides itself at its first tick stays hidden while
    // the loop idles (DialogBox would show it again under Wine).
    CDerivedDlg dlg(IDD_VISIBLE);
    dlg.m_nHideAtTick = 998;
    EXPECT_EQ(7, dlg.DoModal());
    ASSERT_FALSE(dlg.calls.empty());
    EXPECT_EQ("hidden at the end", dlg.calls.back());
    EXPECT_EQ(nullptr, dlg.m_hWnd) << "the window is gone when DoModal returns";
}
