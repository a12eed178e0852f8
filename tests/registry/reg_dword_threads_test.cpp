// CRegDwordValue read from several threads while one thread saves it, as
// the relay threads read the script and object switches while the user
// saves them.
#include "registry/reg_dword_value.h"
#include "registry/test_key.h"

#include <atomic>
#include <thread>
#include <vector>

namespace {

class RegDwordThreads : public RegistryKeyTest {};

// Readers of the cache see the saved values in the order they were saved
// and never anything else.
TEST_F(RegDwordThreads, ReadersFollowTheSavesInOrder)
{
    rawreg::PutDword(HKEY_CURRENT_USER, Key(), "EnableJS", 0);
    CRegDwordValue regValue(Path("EnableJS").c_str(), 0, FALSE, HKEY_CURRENT_USER);
    ASSERT_TRUE(regValue.IsRead());

    const DWORD kLastValue = 300;
    std::atomic<bool> bStop{false};
    std::atomic<int> nBadReaders{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 4; ++i) {
        readers.emplace_back([&] {
            DWORD dwPrevious = 0;
            bool bBad = false;
            while (!bStop.load()) {
                DWORD dw = regValue.Get();
                if (dw < dwPrevious || dw > kLastValue) bBad = true;
                dwPrevious = dw;
            }
            if (bBad) ++nBadReaders;
        });
    }
    for (DWORD dw = 1; dw <= kLastValue; ++dw) regValue.Set(dw);
    bStop = true;
    for (std::thread& t : readers) t.join();

    EXPECT_EQ(0, nBadReaders.load());
    EXPECT_EQ(kLastValue, regValue.Get());
    EXPECT_EQ(kLastValue, rawreg::Get(HKEY_CURRENT_USER, Key(), "EnableJS").Dword());
}

// Before the first successful read every Get reads the registry, from
// whichever thread calls it. Such a read racing the first save must never
// leave the older registry value in the cache.
TEST_F(RegDwordThreads, FirstReadsRacingTheFirstSaveNeverWinOverIt)
{
    const int kRounds = 40;
    int nStaleRounds = 0;
    for (int nRound = 0; nRound < kRounds; ++nRound) {
        rawreg::DeleteTree(HKEY_CURRENT_USER, Key());
        CRegDwordValue regValue(Path("EnableActiveX").c_str(), 0, FALSE, HKEY_CURRENT_USER);
        ASSERT_FALSE(regValue.IsRead());

        std::atomic<bool> bStop{false};
        std::atomic<int> nStarted{0};
        std::vector<std::thread> readers;
        for (int i = 0; i < 3; ++i) {
            readers.emplace_back([&] {
                ++nStarted;
                while (!bStop.load()) regValue.Get();
            });
        }
        while (nStarted.load() < 3) std::this_thread::yield();

        // Store an older value behind the object's back, then save a newer
        // one through it while the readers keep reading.
        rawreg::PutDword(HKEY_CURRENT_USER, Key(), "EnableActiveX", 1000 + nRound);
        regValue.Set(2000 + nRound);
        for (int i = 0; i < 20; ++i) regValue.Get();
        bStop = true;
        for (std::thread& t : readers) t.join();

        DWORD dwStored = rawreg::Get(HKEY_CURRENT_USER, Key(), "EnableActiveX").Dword();
        if (regValue.Get() != dwStored || dwStored != static_cast<DWORD>(2000 + nRound)) ++nStaleRounds;
    }
    EXPECT_EQ(0, nStaleRounds);
}

} // namespace
