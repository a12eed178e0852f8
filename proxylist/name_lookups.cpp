// The lookup threads: a queue of names in, a list of answers out, under one
// lock shared with the asker for as long as either side holds it.
#include "name_lookups.h"

#include "framework/core/socket_api.h"
#include "framework/core/thread_api.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>

struct CNameLookups::CShared {
    std::mutex lock;
    std::condition_variable wake;
    std::deque<std::pair<int, CString>> asked;
    std::vector<CNameAnswer> answered;
    bool bClosed = false;
    WORD nWakePort = 0;
};

namespace {

struct CThreadParam {
    std::shared_ptr<CNameLookups::CShared> pShared;
};

unsigned int LookupThread(void* pParam);

} // namespace

CNameLookups::CNameLookups(WORD nWakePort, int nThreads)
    : m_pShared(std::make_shared<CShared>()), m_nMaxThreads(nThreads < 1 ? 1 : nThreads)
{
    m_pShared->nWakePort = nWakePort;
}

CNameLookups::~CNameLookups()
{
    {
        std::lock_guard<std::mutex> guard(m_pShared->lock);
        m_pShared->bClosed = true;
        m_pShared->asked.clear();
    }
    m_pShared->wake.notify_all();
}

BOOL CNameLookups::Ask(int nTag, const CString& strHost)
{
    size_t nWaiting;
    {
        std::lock_guard<std::mutex> guard(m_pShared->lock);
        m_pShared->asked.emplace_back(nTag, strHost);
        nWaiting = m_pShared->asked.size();
    }
    m_pShared->wake.notify_one();
    // One more thread while names wait and the limit allows; the first one
    // at least, or nobody would ever answer.
    if (m_nThreads < m_nMaxThreads && (m_nThreads == 0 || nWaiting > 1)) {
        CThreadParam* pParam = new CThreadParam{m_pShared};
        if (StartDetachedThread(LookupThread, pParam))
            ++m_nThreads;
        else
            delete pParam;
    }
    return m_nThreads > 0;
}

void CNameLookups::TakeAnswers(std::vector<CNameAnswer>& rAnswers)
{
    std::lock_guard<std::mutex> guard(m_pShared->lock);
    rAnswers.insert(rAnswers.end(), m_pShared->answered.begin(), m_pShared->answered.end());
    m_pShared->answered.clear();
}

namespace {

unsigned int LookupThread(void* pParam)
{
    std::shared_ptr<CNameLookups::CShared> pShared = static_cast<CThreadParam*>(pParam)->pShared;
    delete static_cast<CThreadParam*>(pParam);
    std::unique_lock<std::mutex> guard(pShared->lock);
    for (;;) {
        pShared->wake.wait(guard, [&] { return pShared->bClosed || !pShared->asked.empty(); });
        if (pShared->bClosed) return 0;
        std::pair<int, CString> one = pShared->asked.front();
        pShared->asked.pop_front();
        guard.unlock();
        CNameAnswer answer;
        answer.nTag = one.first;
        answer.bFound = SockResolveIPv4(one.second, &answer.dwAddr);
        guard.lock();
        if (pShared->bClosed) return 0;
        pShared->answered.push_back(answer);
        SockWakeListener(pShared->nWakePort);
    }
}

} // namespace
