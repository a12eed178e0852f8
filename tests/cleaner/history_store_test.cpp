// ClearHistoryStore: the URL history object's ClearHistory is called and
// released, and COM on the calling thread is left as it was found.
#include "cleaner/url_cache_cleaner.h"

#include <objbase.h>
#include <urlhist.h>

#include <gtest/gtest.h>

#include <thread>

namespace {

const CLSID kClsidUrlHistory = {0x3C374A40, 0xBAE4, 0x11CF, {0xBF, 0x7D, 0x00, 0xAA, 0x00, 0x69, 0x46, 0xEE}};
const IID kIidUrlHistoryStg2 = {0xAFA0DC11, 0xC313, 0x11D0, {0x83, 0x1A, 0x00, 0xC0, 0x4F, 0xD5, 0xAE, 0x38}};

// A history object of our own, registered in the test's apartment in place
// of the platform's: it counts its references and which slot was called.
class CFakeHistory : public IUrlHistoryStg2 {
public:
    LONG m_nRefs = 0;
    int m_nClearHistory = 0;
    int m_nOtherCalls = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == kIidUrlHistoryStg2) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_nRefs; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_nRefs; }
    HRESULT STDMETHODCALLTYPE AddUrl(LPCOLESTR, LPCOLESTR, DWORD) override { return Other(); }
    HRESULT STDMETHODCALLTYPE DeleteUrl(LPCOLESTR, DWORD) override { return Other(); }
    HRESULT STDMETHODCALLTYPE QueryUrl(LPCOLESTR, DWORD, LPSTATURL) override { return Other(); }
    HRESULT STDMETHODCALLTYPE BindToObject(LPCOLESTR, REFIID, void**) override { return Other(); }
    HRESULT STDMETHODCALLTYPE EnumUrls(IEnumSTATURL**) override { return Other(); }
    HRESULT STDMETHODCALLTYPE AddUrlAndNotify(LPCOLESTR, LPCOLESTR, DWORD, WINBOOL, IOleCommandTarget*,
                                              IUnknown*) override
    {
        return Other();
    }
    // The answer Wine gives: the caller must shrug it off.
    HRESULT STDMETHODCALLTYPE ClearHistory() override
    {
        ++m_nClearHistory;
        return E_NOTIMPL;
    }

private:
    HRESULT Other()
    {
        ++m_nOtherCalls;
        return E_FAIL;
    }
};

class CFakeHistoryFactory : public IClassFactory {
public:
    explicit CFakeHistoryFactory(CFakeHistory& history) : m_history(history) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = this;
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv) override
    {
        if (pOuter) return CLASS_E_NOAGGREGATION;
        return m_history.QueryInterface(riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    CFakeHistory& m_history;
};

// Runs f on a thread of its own, so each case starts without COM.
template <class F>
void OnFreshThread(F f)
{
    std::thread t(f);
    t.join();
}

TEST(HistoryStoreTest, ClearHistoryIsCalledOnceAndTheObjectReleased)
{
    OnFreshThread([] {
        ASSERT_EQ(S_OK, CoInitialize(nullptr));
        CFakeHistory history;
        CFakeHistoryFactory factory(history);
        DWORD dwCookie = 0;
        ASSERT_EQ(S_OK, CoRegisterClassObject(kClsidUrlHistory, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                              &dwCookie));

        CUrlCacheCleaner().ClearHistoryStore();

        EXPECT_EQ(1, history.m_nClearHistory);
        EXPECT_EQ(0, history.m_nOtherCalls) << "a call landed in another slot";
        EXPECT_EQ(0, history.m_nRefs) << "the history object was not released";
        // The thread's own initialisation survives the step's balanced pair.
        EXPECT_EQ(S_FALSE, CoInitialize(nullptr));
        CoUninitialize();

        CoRevokeClassObject(dwCookie);
        CoUninitialize();
    });
}

TEST(HistoryStoreTest, PlatformObjectLeavesComUninitialised)
{
    OnFreshThread([] {
        CUrlCacheCleaner().ClearHistoryStore();
        // S_OK, not S_FALSE: nothing of the step's initialisation is left.
        EXPECT_EQ(S_OK, CoInitialize(nullptr));
        CoUninitialize();
    });
}

TEST(HistoryStoreTest, MultithreadedApartmentOfTheCallerIsNotTornDown)
{
    OnFreshThread([] {
        ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        // Its CoInitialize is refused (RPC_E_CHANGED_MODE); undoing that
        // refusal would end the caller's own apartment.
        CUrlCacheCleaner().ClearHistoryStore();
        EXPECT_EQ(S_FALSE, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        CoUninitialize();
        CoUninitialize();
    });
}

} // namespace
