// Records every message box the framework would show while it lives, and
// answers each with a chosen button instead of blocking on a window.
#pragma once

#include "framework/win/message_box.h"

#include <mutex>
#include <string>
#include <vector>

class CMessageBoxRecorder : public CMessageBoxHook {
public:
    struct Box {
        HWND hWndOwner;
        std::string text;
        std::string caption;
        UINT nType;
    };

    explicit CMessageBoxRecorder(int nAnswer = IDOK) : m_nAnswer(nAnswer) { m_pPrevious = AfxSetMessageBoxHook(this); }
    ~CMessageBoxRecorder() override { AfxSetMessageBoxHook(m_pPrevious); }
    CMessageBoxRecorder(const CMessageBoxRecorder&) = delete;
    CMessageBoxRecorder& operator=(const CMessageBoxRecorder&) = delete;

    int OnMessageBox(HWND hWndOwner, LPCTSTR lpszText, LPCTSTR lpszCaption, UINT nType) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_boxes.push_back(Box{hWndOwner, lpszText, lpszCaption, nType});
        return m_nAnswer;
    }

    std::vector<Box> Boxes() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_boxes;
    }

private:
    int m_nAnswer;
    CMessageBoxHook* m_pPrevious;
    mutable std::mutex m_mutex; // guards m_boxes: a box may come from any thread
    std::vector<Box> m_boxes;
};
