// The failover choice, one table: a list with stored results, the proxy that
// failed, and where the browser goes (or nowhere). And the tray tip, which
// must fit its 127 characters whatever the entry.
#include "proxylist/proxy_failover.h"

#include <gtest/gtest.h>

#include <string>

namespace {

CStoredProxyResult Result(EProxyGrade eGrade, int nResponseMs)
{
    CStoredProxyResult result;
    result.eGrade = eGrade;
    result.nResponseMs = nResponseMs;
    result.nConnectMs = nResponseMs;
    return result;
}

} // namespace

TEST(ProxyFailover, TheBestTestedEntryAsGoodAsTheFailedOneNeverALeakyOneNorDirect)
{
    CStringList entries;
    for (const char* pszEntry : {"10.0.0.1:80 fast elite", "10.0.0.2:80", "10.0.0.3:80", "10.0.0.4:80", "10.0.0.5:80",
                                 "10.0.0.6:80", "10.0.0.7:80", ":80", "10.0.0.9:0"})
        entries.AddTail(pszEntry);
    CProxyResults results;
    results.Set("10.0.0.1:80", Result(PROXY_GRADE_ELITE, 40));
    results.Set("10.0.0.2:80", Result(PROXY_GRADE_ELITE, 30));
    results.Set("10.0.0.3:80", Result(PROXY_GRADE_ANONYMOUS, 5));
    results.Set("10.0.0.4:80", Result(PROXY_GRADE_TRANSPARENT, 1));
    results.Set("10.0.0.5:80", Result(PROXY_GRADE_TAMPERING, 1));
    results.Set("10.0.0.6:80", Result(PROXY_GRADE_DEAD, 0));
    // 10.0.0.7 untested; the last two name no proxy, however good.
    results.Set(":80", Result(PROXY_GRADE_ELITE, 1));
    results.Set("10.0.0.9:0", Result(PROXY_GRADE_ELITE, 1));

    struct {
        const char* pszFailed;
        const char* pszChosen; // "" for none
    } const cases[] = {
        {"10.0.0.2:80", "10.0.0.1:80 fast elite"}, // the other elite one, slower as it is
        {"10.0.0.1:80", "10.0.0.2:80"},            // the faster elite one
        {"10.0.0.3:80", "10.0.0.2:80"},            // anonymous may become elite
        {"10.0.0.7:80", "10.0.0.2:80"},            // untested: the best there is
        {"10.0.0.4:80", "10.0.0.2:80"},            // from a transparent one: at least anonymous
        {"10.0.0.99:80 typed", "10.0.0.2:80"},     // not in the list at all
    };
    for (const auto& c : cases) {
        CString strChosen;
        EXPECT_TRUE(PickFailoverEntry(entries, results, c.pszFailed, strChosen)) << c.pszFailed;
        EXPECT_EQ(std::string(c.pszChosen), strChosen.str()) << c.pszFailed;
    }

    // With the other elite one dead, an elite proxy has nowhere to go (the
    // anonymous one is worse); with both dead, an anonymous one has only
    // itself, and an untested one goes to the anonymous one.
    results.Set("10.0.0.1:80", Result(PROXY_GRADE_DEAD, 0));
    CString strChosen;
    EXPECT_FALSE(PickFailoverEntry(entries, results, "10.0.0.2:80", strChosen));
    EXPECT_TRUE(strChosen.IsEmpty());
    results.Set("10.0.0.2:80", Result(PROXY_GRADE_DEAD, 0));
    EXPECT_FALSE(PickFailoverEntry(entries, results, "10.0.0.3:80", strChosen));
    EXPECT_TRUE(PickFailoverEntry(entries, results, "10.0.0.7:80", strChosen));
    EXPECT_EQ("10.0.0.3:80", strChosen.str());
}

TEST(ProxyFailover, TheTipNamesTheStateAndFitsItsField)
{
    CProxyResults results;
    results.Set("127.0.0.1:3128", Result(PROXY_GRADE_ELITE, 42));
    EXPECT_EQ("Cloakwall: anonymous browsing off", FormatStateTip("", results).str());
    EXPECT_EQ("Cloakwall: on via 127.0.0.1:3128 (elite, 42 ms)",
              FormatStateTip("127.0.0.1:3128 Some vendor text", results).str());
    EXPECT_EQ("Cloakwall: on via 10.1.1.1:80 (untested)", FormatStateTip("10.1.1.1:80", results).str());
    // The figure is the response time the list is sorted by, not the
    // connect alone.
    CStoredProxyResult slow = Result(PROXY_GRADE_ELITE, 900);
    slow.nConnectMs = 7;
    results.Set("10.1.1.2:80", slow);
    EXPECT_EQ("Cloakwall: on via 10.1.1.2:80 (elite, 900 ms)", FormatStateTip("10.1.1.2:80", results).str());

    // A host name as long as a name can be: cut, with the state kept whole.
    for (int nLength : {90, 100, 110, 120, 300}) {
        std::string strHost(static_cast<size_t>(nLength), 'h');
        results.Set((strHost + ":8080").c_str(), Result(PROXY_GRADE_ANONYMOUS, 12345));
        std::string strTip = FormatStateTip((strHost + ":8080").c_str(), results).str();
        EXPECT_LE(strTip.size(), 127u) << nLength;
        EXPECT_EQ(0u, strTip.find("Cloakwall: on via hhh")) << strTip;
        EXPECT_EQ(" (anonymous, 12345 ms)", strTip.substr(strTip.size() - 22)) << strTip;
    }
}

// The proxy list shows each entry's state after it; what Save reads back is
// the entry alone, whatever the vendor wrote after the port.
TEST(ProxyFailover, TheListsStateMarkComesOffAgainAndNothingElse)
{
    CProxyResults results;
    results.Set("10.2.0.1:80", Result(PROXY_GRADE_ELITE, 42));
    results.Set("10.2.0.2:80", Result(PROXY_GRADE_DEAD, 0));
    results.Set("10.2.0.3:80", Result(PROXY_GRADE_TRANSPARENT, 1234));
    const struct {
        const char* pszEntry;
        const char* pszShown;
    } rows[] = {
        {"10.2.0.1:80", "10.2.0.1:80 (elite, 42 ms)"},
        {"10.2.0.1:80 Vendor (fast, 3 ms)", "10.2.0.1:80 Vendor (fast, 3 ms) (elite, 42 ms)"},
        {"10.2.0.2:80 Somewhere", "10.2.0.2:80 Somewhere (dead)"},
        {"10.2.0.3:80 (elite, 5 ms)", "10.2.0.3:80 (elite, 5 ms) (transparent, 1234 ms)"},
        {"10.2.0.4:80 (untested)", "10.2.0.4:80 (untested)"},
        {"10.2.0.5:80", "10.2.0.5:80"},
    };
    for (const auto& row : rows) {
        CString strShown = FormatProxyChoice(row.pszEntry, results);
        EXPECT_EQ(row.pszShown, strShown.str());
        EXPECT_EQ(row.pszEntry, EntryFromChoiceText(strShown).str()) << row.pszShown;
    }
    // Typed by hand: a mark of a grade comes off, other words in brackets stay.
    EXPECT_EQ("10.2.0.9:80", EntryFromChoiceText("10.2.0.9:80 (anonymous, 12 ms)").str());
    EXPECT_EQ("10.2.0.9:80 (fast, 12 ms)", EntryFromChoiceText("10.2.0.9:80 (fast, 12 ms)").str());
    EXPECT_EQ("10.2.0.9:80 (elite, soon ms)", EntryFromChoiceText("10.2.0.9:80 (elite, soon ms)").str());
}

// Where failover may go, in order: never from Tor, never below the grade
// of the proxy that failed, never without secure pages when it had them
// (or when that is what failed), never to the program's own listener; the
// ones that carry secure pages first.
TEST(ProxyFailover, CandidatesKeepGradeAndSecurePagesAndNeverLeaveTorOrLoopBack)
{
    CStringList entries;
    for (const char* pszEntry : {"10.3.0.1:80", "10.3.0.2:80", "10.3.0.3:80", "10.3.0.4:80", "127.0.0.1:8080",
                                 "localhost:8080", "127.9.9.9:8080 mine", "socks5://127.0.0.1:9050 (Tor)"})
        entries.AddTail(pszEntry);
    CProxyResults results;
    auto set = [&](const char* pszEntry, EProxyGrade eGrade, int nMs, EHttpsOutcome eHttps) {
        CStoredProxyResult result = Result(eGrade, nMs);
        result.eHttps = eHttps;
        results.Set(pszEntry, result);
    };
    set("10.3.0.1:80", PROXY_GRADE_ELITE, 10, HTTPS_NONE);
    set("10.3.0.2:80", PROXY_GRADE_ELITE, 20, HTTPS_CARRIED);
    set("10.3.0.3:80", PROXY_GRADE_ANONYMOUS, 5, HTTPS_CARRIED);
    set("10.3.0.4:80", PROXY_GRADE_ELITE, 30, HTTPS_TAMPERED);
    // Graded with whatever upstream was in force: the best of all, and never to be used.
    for (const char* pszOwn : {"127.0.0.1:8080", "localhost:8080", "127.9.9.9:8080"})
        set(pszOwn, PROXY_GRADE_ELITE, 1, HTTPS_CARRIED);
    set("10.3.0.9:80", PROXY_GRADE_ELITE, 1, HTTPS_CARRIED); // not in the list
    set("10.3.0.8:80", PROXY_GRADE_ELITE, 1, HTTPS_CARRIED);

    struct {
        const char* pszFailed;
        BOOL bNeedHttps;
        const char* pszExpected; // the candidates, blank separated
    } const cases[] = {
        {"10.3.0.8:80", FALSE, "10.3.0.2:80"},                         // had https: keeps it
        {"10.3.0.8:80", TRUE, "10.3.0.2:80"},                          // refused tunnels: the same
        {"10.3.0.1:80", FALSE, "10.3.0.2:80"},                         // one that reads secure pages is no elite
        {"10.3.0.1:80", TRUE, "10.3.0.2:80"},                          // tampered tunnels are no https
        {"10.3.0.7:80", FALSE, "10.3.0.2:80 10.3.0.3:80 10.3.0.1:80"}, // untested: anonymous will do
        {"10.3.0.4:80", FALSE, "10.3.0.2:80 10.3.0.3:80 10.3.0.1:80"}, // it read secure pages: anonymous will do
        {"10.3.0.3:80", FALSE, "10.3.0.2:80"},                         // anonymous with https: elite with https
        {"socks5://127.0.0.1:9050 (Tor)", FALSE, ""},                  // Tor stays
        {"socks5h://localhost:9150", FALSE, ""},                       // the Tor Browser's Tor too
    };
    for (const auto& c : cases) {
        std::vector<CString> candidates;
        PickFailoverCandidates(entries, results, c.pszFailed, c.bNeedHttps, 10, candidates);
        std::string strGot;
        for (const CString& strOne : candidates) strGot += (strGot.empty() ? "" : " ") + strOne.str();
        EXPECT_EQ(c.pszExpected, strGot) << c.pszFailed << (c.bNeedHttps ? " for https" : "");
    }
    std::vector<CString> two;
    PickFailoverCandidates(entries, results, "10.3.0.7:80", FALSE, 2, two);
    EXPECT_EQ(2u, two.size());

    // The own listener in every spelling the local proxy refuses; other
    // ports and other hosts are proxies like any.
    for (const char* pszOwn :
         {"127.0.0.1:8080", "LOCALHOST:8080 x", "http://127.1.2.3:8080", "[::1]:8080", "socks5://u:p@127.0.0.1:8080"})
        EXPECT_TRUE(NamesOwnListener(pszOwn)) << pszOwn;
    for (const char* pszOther : {"127.0.0.1:8081", "10.0.0.1:8080", "example.com:8080", "garbage"})
        EXPECT_FALSE(NamesOwnListener(pszOther)) << pszOther;
}
