// CStringList: a list of CString with stable positions.
#pragma once

#include "cstring.h"
#include "list.h"

class CStringList : public CList<CString, const CString&> {
public:
    explicit CStringList(INT_PTR nBlockSize = 10) : CList(nBlockSize) {}
    using CList::AddHead;
    using CList::AddTail;
    using CList::Find;
    using CList::InsertAfter;
    using CList::InsertBefore;
    POSITION AddHead(LPCTSTR s) { return CList::AddHead(CString(s)); }
    POSITION AddTail(LPCTSTR s) { return CList::AddTail(CString(s)); }
    POSITION InsertAfter(POSITION p, LPCTSTR s) { return CList::InsertAfter(p, CString(s)); }
    POSITION InsertBefore(POSITION p, LPCTSTR s) { return CList::InsertBefore(p, CString(s)); }
    POSITION Find(LPCTSTR s, POSITION startAfter = nullptr) const { return CList::Find(CString(s), startAfter); }
};
