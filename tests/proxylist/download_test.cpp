// The list download and update against a loopback server in this process.
#include "proxylist/download.h"
#include "proxylist/proxy_entry.h"
#include "proxylist/proxy_list_file.h"
#include "proxylist/proxy_list_update.h"
#include "proxylist/proxy_tester.h"
#include "proxylist/vendor_server.h"
#include "support/loopback_http_server.h"

#include "framework/win/internet.h"

#include <gtest/gtest.h>

#include "support/raw_file.h"
#include "support/string_list_view.h"
#include "support/temp_path.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string ListUrl(const CLoopbackHttpServer& server)
{
    return VendorUrl(server.HostPort().c_str(), PROXY_LIST_PATH).str();
}

// Points the system's own proxy settings (what a preconfigured session
// follows) at a dead loopback port for the life of the object.
class CDeadSystemProxy {
public:
    explicit CDeadSystemProxy(int nDeadPort)
    {
        RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &m_hKey, nullptr);
        m_bHadEnable = Query("ProxyEnable", m_enable);
        m_bHadServer = Query("ProxyServer", m_server);
        DWORD one = 1;
        RegSetValueExA(m_hKey, "ProxyEnable", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), sizeof one);
        std::string server = "127.0.0.1:" + std::to_string(nDeadPort);
        RegSetValueExA(m_hKey, "ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server.c_str()),
                       static_cast<DWORD>(server.size() + 1));
    }
    ~CDeadSystemProxy()
    {
        Restore("ProxyEnable", m_bHadEnable, REG_DWORD, m_enable);
        Restore("ProxyServer", m_bHadServer, REG_SZ, m_server);
        RegCloseKey(m_hKey);
    }

private:
    static constexpr const char* kKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
    bool Query(const char* name, std::string& value)
    {
        BYTE buf[1024];
        DWORD size = sizeof buf;
        if (RegQueryValueExA(m_hKey, name, nullptr, nullptr, buf, &size) != ERROR_SUCCESS) return false;
        value.assign(reinterpret_cast<char*>(buf), size);
        return true;
    }
    void Restore(const char* name, bool had, DWORD type, const std::string& value)
    {
        if (had)
            RegSetValueExA(m_hKey, name, 0, type, reinterpret_cast<const BYTE*>(value.data()),
                           static_cast<DWORD>(value.size()));
        else
            RegDeleteValueA(m_hKey, name);
    }
    HKEY m_hKey = nullptr;
    bool m_bHadEnable, m_bHadServer;
    std::string m_enable, m_server;
};

} // namespace

TEST(DownloadTextTest, FetchesTheListWithEveryLineEndedByCrLf)
{
    CLoopbackHttpServer server;
    server.SetAnswer(PROXY_LIST_PATH, 200, "1.1.1.1:80\n2.2.2.2:3128 fast\r\nlast:8080");
    CString text;
    DWORD status = 0;
    ASSERT_TRUE(DownloadText(ListUrl(server).c_str(), text, &status));
    EXPECT_EQ(status, 200u);
    EXPECT_EQ(text, "1.1.1.1:80\r\n2.2.2.2:3128 fast\r\nlast:8080");
    EXPECT_EQ(DownloadText(ListUrl(server).c_str()), text) << "the one-argument form gives the same";
    EXPECT_EQ(server.CountRequests(PROXY_LIST_PATH), 2);
}

TEST(DownloadTextTest, LfAndCrLfListsGiveTheSameEntries)
{
    CLoopbackHttpServer server;
    server.SetAnswer("/lf.txt", 200, "a:1\n\nb:2 text\nc:3\n");
    server.SetAnswer("/crlf.txt", 200, "a:1\r\n\r\nb:2 text\r\nc:3\r\n");
    std::string base = "http://" + server.HostPort();
    CStringList fromLf, fromCrLf;
    AppendListEntries(DownloadText((base + "/lf.txt").c_str()), fromLf);
    AppendListEntries(DownloadText((base + "/crlf.txt").c_str()), fromCrLf);
    EXPECT_EQ(ToVector(fromLf), (std::vector<std::string>{"a:1", "", "b:2 text", "c:3"}));
    EXPECT_EQ(ToVector(fromLf), ToVector(fromCrLf));
}

TEST(DownloadTextTest, ErrorAnswersAndUnreachableServersAreFailures)
{
    CLoopbackHttpServer server;
    server.SetAnswer("/error", 500, "1.1.1.1:80\n");
    CString text("stale");
    DWORD status = 0;
    EXPECT_FALSE(DownloadText(ListUrl(server).c_str(), text, &status)) << "404 with a body is no list";
    EXPECT_EQ(status, 404u);
    EXPECT_TRUE(text.IsEmpty());
    EXPECT_FALSE(DownloadText(("http://" + server.HostPort() + "/error").c_str(), text, &status));
    EXPECT_EQ(status, 500u);

    std::string closed = "http://127.0.0.1:" + std::to_string(ClosedLoopbackPort()) + PROXY_LIST_PATH;
    EXPECT_FALSE(DownloadText(closed.c_str(), text, &status));
    EXPECT_EQ(status, 0u) << "no answer at all";
    EXPECT_TRUE(DownloadText(closed.c_str()).IsEmpty());

    EXPECT_FALSE(DownloadText("not a url", text));
    EXPECT_FALSE(DownloadText("ftp://127.0.0.1/list", text));
}

TEST(DownloadTextTest, AListCutShortIsAFailureThatLeavesTheFileUntouched)
{
    // The server promises 100 bytes and closes after 15: half a list, whose
    // torn last line would otherwise even count as an entry.
    CLoopbackHttpServer server;
    server.SetRawAnswer(PROXY_LIST_PATH, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\n"
                                         "1.1.1.1:80\n2.2.");
    CString text("stale");
    DWORD status = 0;
    EXPECT_FALSE(DownloadText(ListUrl(server).c_str(), text, &status));
    EXPECT_EQ(status, 200u);
    EXPECT_TRUE(text.IsEmpty());

    std::string file = TempPath("cut.txt");
    ASSERT_TRUE(WriteRaw(file, "kept:1\r\n"));
    CStringList entries;
    EXPECT_EQ(UpdateProxyList(ListUrl(server).c_str(), file.c_str(), entries), PROXY_LIST_DOWNLOAD_FAILED);
    EXPECT_EQ(entries.GetCount(), 0);
    EXPECT_EQ(ReadRaw(file), "kept:1\r\n");
    std::remove(file.c_str());

    // The same answer whole is a good list.
    server.SetRawAnswer(PROXY_LIST_PATH, "HTTP/1.1 200 OK\r\nContent-Length: 15\r\nConnection: close\r\n\r\n"
                                         "1.1.1.1:80\n2.2.");
    EXPECT_TRUE(DownloadText(ListUrl(server).c_str(), text));
    EXPECT_EQ(text, "1.1.1.1:80\r\n2.2.");
}

TEST(DownloadTextTest, PrintsTheTextItReceived)
{
    CLoopbackHttpServer server;
    server.SetAnswer(PROXY_LIST_PATH, 200, "1.1.1.1:80\nlast:1");
    ::testing::internal::CaptureStdout();
    CString text = DownloadText(ListUrl(server).c_str());
    std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "\nContent 1.1.1.1:80\r\nlast:1\n");
}

TEST(DownloadTextTest, AChangedListIsFetchedAgainNotTakenFromACache)
{
    CLoopbackHttpServer server;
    server.SetAnswer(PROXY_LIST_PATH, 200, "old:1\n");
    EXPECT_EQ(DownloadText(ListUrl(server).c_str()), "old:1\r\n");
    server.SetAnswer(PROXY_LIST_PATH, 200, "new:2\n");
    EXPECT_EQ(DownloadText(ListUrl(server).c_str()), "new:2\r\n");
    EXPECT_EQ(server.CountRequests(PROXY_LIST_PATH), 2);
}

TEST(DownloadTextTest, GoesStraightToTheServerWhateverTheSystemProxySays)
{
    CLoopbackHttpServer server;
    server.SetAnswer(PROXY_LIST_PATH, 200, "direct:1\n");
    server.SetAnswer(PROXY_GEN_PATH, 200, "ok");
    CDeadSystemProxy deadProxy(ClosedLoopbackPort());

    // The premise: a session that follows the system's settings now fails.
    BOOL bPreconfiguredFailed = FALSE;
    try {
        CInternetSession session(nullptr, 1, INTERNET_OPEN_TYPE_PRECONFIG);
        std::unique_ptr<CHttpConnection> connection(session.GetHttpConnection(
            "127.0.0.1", INTERNET_FLAG_KEEP_CONNECTION, static_cast<INTERNET_PORT>(server.Port())));
        std::unique_ptr<CHttpFile> file(connection->OpenRequest("GET", PROXY_LIST_PATH, nullptr, 0, nullptr, nullptr,
                                                                INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_RELOAD |
                                                                    INTERNET_FLAG_NO_CACHE_WRITE));
        file->SendRequest();
    } catch (CInternetException* e) {
        bPreconfiguredFailed = TRUE;
        e->Delete();
    }
    EXPECT_TRUE(bPreconfiguredFailed) << "the dead system proxy was not in the way";

    EXPECT_EQ(DownloadText(ListUrl(server).c_str()), "direct:1\r\n");
    EXPECT_TRUE(RequestProxyGenPage(server.HostPort().c_str()));
}

TEST(DownloadTextTest, ProxyGenRequestAsksTheGeneratorPage)
{
    CLoopbackHttpServer server;
    server.SetAnswer(PROXY_GEN_PATH, 200, "<html>ok</html>");
    EXPECT_TRUE(RequestProxyGenPage(server.HostPort().c_str()));
    EXPECT_EQ(server.CountRequests(PROXY_GEN_PATH), 1);
    server.SetAnswer(PROXY_GEN_PATH, 503, "busy");
    EXPECT_FALSE(RequestProxyGenPage(server.HostPort().c_str()));
    EXPECT_FALSE(RequestProxyGenPage(("127.0.0.1:" + std::to_string(ClosedLoopbackPort())).c_str()));
}

TEST(ProxyListUpdateTest, GoodDownloadReplacesTheFileAndHandsBackTheEntries)
{
    CLoopbackHttpServer server;
    server.SetAnswer(PROXY_LIST_PATH, 200, "1.1.1.1:80\n2.2.2.2:3128 fast\nno-end:1");
    std::string file = TempPath("good.txt");
    ASSERT_TRUE(WriteRaw(file, "old:1\r\n"));

    CStringList entries;
    entries.AddTail("shown:1");
    ASSERT_EQ(UpdateProxyList(ListUrl(server).c_str(), file.c_str(), entries), PROXY_LIST_UPDATED);
    EXPECT_EQ(ToVector(entries), (std::vector<std::string>{"shown:1", "1.1.1.1:80", "2.2.2.2:3128 fast", "no-end:1"}));
    EXPECT_EQ(ReadRaw(file), "1.1.1.1:80\r\n2.2.2.2:3128 fast\r\nno-end:1\r\n");

    CStringList atStart;
    ASSERT_TRUE(ReadProxyListFile(file.c_str(), atStart));
    EXPECT_EQ(ToVector(atStart), (std::vector<std::string>{"1.1.1.1:80", "2.2.2.2:3128 fast", "no-end:1"}))
        << "the next start shows the same entries, the last line included";
    EXPECT_STREQ(GetProxyListUpdateText(PROXY_LIST_UPDATED), "Proxy List Updated");
    EXPECT_STREQ(GetProxyListUpdateCaption(PROXY_LIST_UPDATED), "");
    std::remove(file.c_str());
}

TEST(ProxyListUpdateTest, FailedDownloadLeavesFileAndEntriesUntouched)
{
    CLoopbackHttpServer server; // the list path answers 404
    std::string file = TempPath("kept.txt");
    const std::string original = "kept:1\r\r\nkept:2\r\r\n";
    ASSERT_TRUE(WriteRaw(file, original));
    std::string unreachable = "http://127.0.0.1:" + std::to_string(ClosedLoopbackPort()) + PROXY_LIST_PATH;

    for (const std::string& url : {ListUrl(server), unreachable}) {
        CStringList entries;
        entries.AddTail("shown:1");
        ProxyListUpdateResult result = UpdateProxyList(url.c_str(), file.c_str(), entries);
        EXPECT_EQ(result, PROXY_LIST_DOWNLOAD_FAILED) << url;
        EXPECT_EQ(ToVector(entries), std::vector<std::string>{"shown:1"}) << url;
        EXPECT_EQ(ReadRaw(file), original) << url;
        EXPECT_NE(std::string(GetProxyListUpdateText(result)), "Proxy List Updated");
        EXPECT_STREQ(GetProxyListUpdateCaption(result), "Error");
    }
    std::remove(file.c_str());
}

TEST(ProxyListUpdateTest, UnwritableFileIsReportedAndAddsNothing)
{
    CLoopbackHttpServer server;
    server.SetAnswer(PROXY_LIST_PATH, 200, "1.1.1.1:80\n");
    std::string file = TempPath("no_such_folder\\proxylist.txt");
    CStringList entries;
    CString detail;
    ProxyListUpdateResult result = UpdateProxyList(ListUrl(server).c_str(), file.c_str(), entries, &detail);
    EXPECT_EQ(result, PROXY_LIST_FILE_FAILED);
    EXPECT_EQ(entries.GetCount(), 0);
    EXPECT_FALSE(detail.IsEmpty());
    EXPECT_STREQ(GetProxyListUpdateCaption(result), "Error");
}

TEST(VendorServerTest, AddressesComeFromTheUpdateServerTextWithItsPort)
{
    EXPECT_EQ(GetProxyListUrl("vendor.invalid"), "http://vendor.invalid/licensing/ProxyGenerator/proxylist.txt");
    EXPECT_EQ(GetSpeedSampleUrl(" 127.0.0.1:8081 "), "http://127.0.0.1:8081/bandwidthchecker/dlsample1.gif");

    CLoopbackHttpServer server;
    server.SetAnswer(PROXY_LIST_PATH, 200, "from:setting\n");
    server.SetAnswer(PROXY_GEN_PATH, 200, "ok");
    // The text as a registry value may hold it, blanks and all.
    const std::string setting = " " + server.HostPort() + "\t";
    EXPECT_EQ(DownloadText(GetProxyListUrl(setting.c_str())), "from:setting\r\n") << "the port of the setting is used";
    EXPECT_TRUE(RequestProxyGenPage(setting.c_str()));
    EXPECT_EQ(server.CountRequests(PROXY_GEN_PATH), 1);

    // The tester's sample is on the same server, fetched through the proxy.
    CLoopbackHttpServer proxy;
    proxy.SetAnswer(SPEED_SAMPLE_PATH, 200, std::string(32 * 1024, 's'));
    EXPECT_GT(MeasureDownloadSpeed("127.0.0.1", proxy.Port(), GetSpeedSampleUrl(setting.c_str())), 0.0);
    EXPECT_EQ(proxy.RequestLines(),
              std::vector<std::string>{"GET http://" + server.HostPort() + SPEED_SAMPLE_PATH + " HTTP/1.1"});
    EXPECT_EQ(server.CountRequests(SPEED_SAMPLE_PATH), 0);
}

TEST(DownloadTextTest, LeavesNoEntryInTheUrlCache)
{
    CLoopbackHttpServer server;
    server.SetAnswer(PROXY_LIST_PATH, 200, "cached:1\n");
    std::string url = ListUrl(server);
    ASSERT_EQ(DownloadText(url.c_str()), "cached:1\r\n");
    char buffer[4096];
    DWORD size = sizeof buffer;
    EXPECT_FALSE(GetUrlCacheEntryInfoA(url.c_str(), reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buffer), &size))
        << "a privacy tool leaves no trace of its own downloads";
}

TEST(DownloadTextTest, AChunkedListCutShortIsAFailureThatLeavesTheFileUntouched)
{
    // One whole chunk, part of the next, then the connection closes: no
    // terminating zero-length chunk, so the answer is not complete. Wine's
    // WinINet reports the cut as the end of the body, exactly as it reports
    // a whole chunked answer; the list is asked for as HTTP/1.0, which no
    // server may answer in chunks, and a chunked answer is refused.
    const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
    const std::string firstChunk = "b\r\n1.1.1.1:80\n\r\n";
    CLoopbackHttpServer server;
    server.SetRawAnswer(PROXY_LIST_PATH, head + firstChunk + "14\r\n2.2.2.2:3");
    CString text("stale");
    EXPECT_FALSE(DownloadText(ListUrl(server).c_str(), text));
    EXPECT_TRUE(text.IsEmpty());
    ASSERT_FALSE(server.RequestLines().empty());
    EXPECT_EQ(server.RequestLines()[0], std::string("GET ") + PROXY_LIST_PATH + " HTTP/1.0");

    std::string file = TempPath("chunk_cut.txt");
    ASSERT_TRUE(WriteRaw(file, "kept:1\r\n"));
    CStringList entries;
    EXPECT_EQ(UpdateProxyList(ListUrl(server).c_str(), file.c_str(), entries), PROXY_LIST_DOWNLOAD_FAILED);
    EXPECT_EQ(entries.GetCount(), 0);
    EXPECT_EQ(ReadRaw(file), "kept:1\r\n");

    // Cut inside a chunk-size line, or right after a whole chunk.
    for (const std::string& cut : {firstChunk + "1", firstChunk, firstChunk + "b\r\n2.2.2.2:81\n\r\n0\r\n\r\n"}) {
        server.SetRawAnswer(PROXY_LIST_PATH, head + cut);
        EXPECT_FALSE(DownloadText(ListUrl(server).c_str(), text)) << testing::PrintToString(cut);
    }

    // The same list with its length is taken.
    server.SetRawAnswer(PROXY_LIST_PATH, "HTTP/1.0 200 OK\r\nContent-Length: 22\r\n\r\n1.1.1.1:80\n2.2.2.2:81\n");
    ASSERT_TRUE(DownloadText(ListUrl(server).c_str(), text));
    EXPECT_EQ(text, "1.1.1.1:80\r\n2.2.2.2:81\r\n");
    EXPECT_EQ(UpdateProxyList(ListUrl(server).c_str(), file.c_str(), entries), PROXY_LIST_UPDATED);
    EXPECT_EQ(ReadRaw(file), "1.1.1.1:80\r\n2.2.2.2:81\r\n");
    std::remove(file.c_str());
}

TEST(ProxyListUpdateTest, AnAnswerWithoutAnyEntryNeverReplacesTheList)
{
    CLoopbackHttpServer server;
    std::string file = TempPath("no_entry.txt");
    ASSERT_TRUE(WriteRaw(file, "kept:1\r\n"));
    const std::string garbage("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff:\xfe", 19);
    for (const std::string& body : {std::string(), std::string("\n\n"), std::string("<html>Gone</html>\n"), garbage,
                                    std::string("host:0\n:80\nhost:\nhost:65536\nhost:80x\n")}) {
        server.SetAnswer(PROXY_LIST_PATH, 200, body);
        CStringList entries;
        EXPECT_EQ(UpdateProxyList(ListUrl(server).c_str(), file.c_str(), entries), PROXY_LIST_DOWNLOAD_FAILED)
            << testing::PrintToString(body);
        EXPECT_EQ(entries.GetCount(), 0);
        EXPECT_EQ(ReadRaw(file), "kept:1\r\n");
    }
    // One entry among other lines is enough.
    for (const std::string& body : {std::string("# list\nproxy.example-1.test:65535 fast\n"),
                                    std::string("junk\r\n 10.0.0.1:1\r\n"), std::string("last:8080")}) {
        server.SetAnswer(PROXY_LIST_PATH, 200, body);
        CStringList entries;
        EXPECT_EQ(UpdateProxyList(ListUrl(server).c_str(), file.c_str(), entries), PROXY_LIST_UPDATED)
            << testing::PrintToString(body);
    }
    std::remove(file.c_str());
}

TEST(DownloadTextTest, ANulByteStaysInsideItsLine)
{
    CLoopbackHttpServer server;
    server.SetAnswer(PROXY_LIST_PATH, 200, std::string("1.1.1.1:80\0junk\n2.2.2.2:81\n", 27));
    CString text;
    ASSERT_TRUE(DownloadText(ListUrl(server).c_str(), text));
    EXPECT_EQ(text.str(), std::string("1.1.1.1:80\0junk\r\n2.2.2.2:81\r\n", 29));
    CStringList entries;
    AppendListEntries(text, entries);
    ASSERT_EQ(entries.GetCount(), 2);
    CString host;
    int port = 0;
    SplitProxyEntry(entries.GetHead(), host, port);
    EXPECT_EQ(host, "1.1.1.1");
    EXPECT_EQ(port, 80);
    SplitProxyEntry(entries.GetTail(), host, port);
    EXPECT_EQ(host, "2.2.2.2");
    EXPECT_EQ(port, 81);
}
