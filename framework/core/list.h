// CList: a doubly linked list whose POSITIONs stay valid while their element
// is in the list. CStringList, CPtrList and CTypedPtrList are built on it.
#pragma once

#include "object.h"
#include "types.h"

#include <cassert>
#include <utility>

template <class TYPE, class ARG_TYPE = const TYPE&>
class CList : public CObject {
    struct CNode : __POSITION {
        CNode* pNext;
        CNode* pPrev;
        TYPE data;
        CNode(CNode* prev, CNode* next, ARG_TYPE value) : pNext(next), pPrev(prev), data(value) {}
    };

public:
    // The block size of the classic allocator is accepted and has no effect:
    // nodes are allocated one by one.
    explicit CList(INT_PTR nBlockSize = 10) { (void)nBlockSize; }
    CList(const CList&) = delete;
    CList& operator=(const CList&) = delete;
    ~CList() override { RemoveAll(); }

    INT_PTR GetCount() const { return m_nCount; }
    INT_PTR GetSize() const { return m_nCount; }
    BOOL IsEmpty() const { return m_nCount == 0; }

    TYPE& GetHead()
    {
        assert(m_pHead);
        return m_pHead->data;
    }
    const TYPE& GetHead() const
    {
        assert(m_pHead);
        return m_pHead->data;
    }
    TYPE& GetTail()
    {
        assert(m_pTail);
        return m_pTail->data;
    }
    const TYPE& GetTail() const
    {
        assert(m_pTail);
        return m_pTail->data;
    }

    POSITION GetHeadPosition() const { return m_pHead; }
    POSITION GetTailPosition() const { return m_pTail; }

    // Return the element at rPosition and move rPosition on (NULL at the end).
    TYPE& GetNext(POSITION& rPosition)
    {
        CNode* n = Node(rPosition);
        rPosition = n->pNext;
        return n->data;
    }
    const TYPE& GetNext(POSITION& rPosition) const
    {
        CNode* n = Node(rPosition);
        rPosition = n->pNext;
        return n->data;
    }
    TYPE& GetPrev(POSITION& rPosition)
    {
        CNode* n = Node(rPosition);
        rPosition = n->pPrev;
        return n->data;
    }
    const TYPE& GetPrev(POSITION& rPosition) const
    {
        CNode* n = Node(rPosition);
        rPosition = n->pPrev;
        return n->data;
    }

    TYPE& GetAt(POSITION position) { return Node(position)->data; }
    const TYPE& GetAt(POSITION position) const { return Node(position)->data; }
    void SetAt(POSITION pos, ARG_TYPE newElement) { Node(pos)->data = newElement; }

    POSITION AddHead(ARG_TYPE newElement)
    {
        CNode* n = new CNode(nullptr, m_pHead, newElement);
        if (m_pHead)
            m_pHead->pPrev = n;
        else
            m_pTail = n;
        m_pHead = n;
        ++m_nCount;
        return n;
    }

    POSITION AddTail(ARG_TYPE newElement)
    {
        CNode* n = new CNode(m_pTail, nullptr, newElement);
        if (m_pTail)
            m_pTail->pNext = n;
        else
            m_pHead = n;
        m_pTail = n;
        ++m_nCount;
        return n;
    }

    POSITION InsertBefore(POSITION position, ARG_TYPE newElement)
    {
        if (!position) return AddHead(newElement);
        CNode* old = Node(position);
        CNode* n = new CNode(old->pPrev, old, newElement);
        if (old->pPrev)
            old->pPrev->pNext = n;
        else
            m_pHead = n;
        old->pPrev = n;
        ++m_nCount;
        return n;
    }

    POSITION InsertAfter(POSITION position, ARG_TYPE newElement)
    {
        if (!position) return AddTail(newElement);
        CNode* old = Node(position);
        CNode* n = new CNode(old, old->pNext, newElement);
        if (old->pNext)
            old->pNext->pPrev = n;
        else
            m_pTail = n;
        old->pNext = n;
        ++m_nCount;
        return n;
    }

    void RemoveAt(POSITION position)
    {
        CNode* n = Node(position);
        if (n->pPrev)
            n->pPrev->pNext = n->pNext;
        else
            m_pHead = n->pNext;
        if (n->pNext)
            n->pNext->pPrev = n->pPrev;
        else
            m_pTail = n->pPrev;
        delete n;
        --m_nCount;
    }

    TYPE RemoveHead()
    {
        TYPE v = std::move(GetHead());
        RemoveAt(m_pHead);
        return v;
    }
    TYPE RemoveTail()
    {
        TYPE v = std::move(GetTail());
        RemoveAt(m_pTail);
        return v;
    }

    void RemoveAll()
    {
        for (CNode* n = m_pHead; n;) {
            CNode* next = n->pNext;
            delete n;
            n = next;
        }
        m_pHead = m_pTail = nullptr;
        m_nCount = 0;
    }

    // Position of the first element equal to searchValue after startAfter.
    POSITION Find(ARG_TYPE searchValue, POSITION startAfter = nullptr) const
    {
        CNode* n = startAfter ? Node(startAfter)->pNext : m_pHead;
        for (; n; n = n->pNext)
            if (n->data == searchValue) return n;
        return nullptr;
    }

    // Position of the nIndex-th element (0-based), NULL when out of range.
    POSITION FindIndex(INT_PTR nIndex) const
    {
        if (nIndex < 0 || nIndex >= m_nCount) return nullptr;
        CNode* n = m_pHead;
        while (nIndex-- > 0) n = n->pNext;
        return n;
    }

private:
    static CNode* Node(POSITION p)
    {
        assert(p);
        return static_cast<CNode*>(p);
    }

    CNode* m_pHead = nullptr;
    CNode* m_pTail = nullptr;
    INT_PTR m_nCount = 0;
};
