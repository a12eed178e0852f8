// Message maps: one short table per window class, searched from the class
// itself down to its bases. Each entry carries a small thunk that casts the
// window to the class whose table it is in and calls the handler with the
// message's arguments unpacked, so a table stays a list of names.
#pragma once

#include <windows.h>

class CWnd;
class CCmdUI;
class CMenu;

// Notification code under which menu update handlers are filed.
#define CN_UPDATE_COMMAND_UI 0xFFFFu

typedef LRESULT (*AFX_PMSGTHUNK)(CWnd* pWnd, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage; // 0 ends the table
    UINT nCode;    // WM_COMMAND only: 0 for commands, a notification code, or CN_UPDATE_COMMAND_UI
    UINT nID;      // WM_COMMAND only: the command or control id
    AFX_PMSGTHUNK pfn;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)(); // null for the root
    const AFX_MSGMAP_ENTRY* lpEntries;
};

// The tables read best as one entry a line; the formatter would spread them.
// clang-format off
#define DECLARE_MESSAGE_MAP()                       \
public:                                             \
    static const AFX_MSGMAP* GetThisMessageMap();   \
protected:                                          \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                      \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                                 \
    {                                                                               \
        typedef theClass ThisClass;                                                 \
        typedef baseClass TheBaseClass;                                             \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP()                                                           \
            { 0, 0, 0, nullptr }                                                    \
        };                                                                          \
        static const AFX_MSGMAP messageMap = { &TheBaseClass::GetThisMessageMap, &_messageEntries[0] }; \
        return &messageMap;                                                         \
    }

#define AFX_THUNK(body) [](CWnd* pWnd, WPARAM wParam, LPARAM lParam) -> LRESULT { \
        (void)wParam; (void)lParam; ThisClass* pThis = static_cast<ThisClass*>(pWnd); (void)pThis; body }

#define ON_COMMAND(id, memberFxn) \
    { WM_COMMAND, 0, (UINT)(id), AFX_THUNK(pThis->memberFxn(); return 0;) },
#define ON_CONTROL(code, id, memberFxn) \
    { WM_COMMAND, (UINT)(code), (UINT)(id), AFX_THUNK(pThis->memberFxn(); return 0;) },
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_CBN_SELCHANGE(id, memberFxn) ON_CONTROL(CBN_SELCHANGE, id, memberFxn)
#define ON_UPDATE_COMMAND_UI(id, memberFxn) \
    { WM_COMMAND, CN_UPDATE_COMMAND_UI, (UINT)(id), \
      AFX_THUNK(pThis->memberFxn(reinterpret_cast<CCmdUI*>(lParam)); return 0;) },
#define ON_MESSAGE(message, memberFxn) \
    { (UINT)(message), 0, 0, AFX_THUNK(return pThis->memberFxn(wParam, lParam);) },
#define ON_WM_CREATE() \
    { WM_CREATE, 0, 0, AFX_THUNK(return pThis->OnCreate(reinterpret_cast<LPCREATESTRUCT>(lParam));) },
#define ON_WM_DESTROY() \
    { WM_DESTROY, 0, 0, AFX_THUNK(pThis->OnDestroy(); return 0;) },
#define ON_WM_SYSCOMMAND() \
    { WM_SYSCOMMAND, 0, 0, AFX_THUNK(pThis->OnSysCommand((UINT)wParam, lParam); return 0;) },
#define ON_WM_PAINT() \
    { WM_PAINT, 0, 0, AFX_THUNK(pThis->OnPaint(); return 0;) },
#define ON_WM_QUERYDRAGICON() \
    { WM_QUERYDRAGICON, 0, 0, AFX_THUNK(return (LRESULT)pThis->OnQueryDragIcon();) },
#define ON_WM_SIZE() \
    { WM_SIZE, 0, 0, AFX_THUNK(pThis->OnSize((UINT)wParam, (short)LOWORD(lParam), (short)HIWORD(lParam)); return 0;) },
#define ON_WM_TIMER() \
    { WM_TIMER, 0, 0, AFX_THUNK(pThis->OnTimer((UINT_PTR)wParam); return 0;) },
#define ON_WM_INITMENUPOPUP() \
    { WM_INITMENUPOPUP, 0, 0, AFX_THUNK(pThis->OnInitMenuPopup(CMenu::FromHandle((HMENU)wParam), \
          (UINT)LOWORD(lParam), (BOOL)HIWORD(lParam)); return 0;) },
// clang-format on
