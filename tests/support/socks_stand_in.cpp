// The stand-in SOCKS server: both handshakes by hand, then a plain relay.
#include "support/socks_stand_in.h"

namespace {

std::string Bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values) s += static_cast<char>(v);
    return s;
}

// Reads up to and including the next NUL; false when the peer closed first.
bool RecvUntilNul(SOCKET_HANDLE s, std::string& strOut)
{
    strOut.clear();
    for (;;) {
        std::string ch = TestRecvCount(s, 1);
        if (ch.size() != 1) return false;
        if (ch[0] == '\0') return true;
        strOut += ch;
    }
}

int Byte(const std::string& s, size_t i)
{
    return static_cast<unsigned char>(s[i]);
}

void Relay(SOCKET_HANDLE a, SOCKET_HANDLE b)
{
    char buf[16384];
    for (;;) {
        int nReady = SockWaitReadable(a, b, -1);
        if (nReady <= 0) return;
        SOCKET_HANDLE from = (nReady & 1) ? a : b;
        SOCKET_HANDLE to = from == a ? b : a;
        int n = SockRecv(from, buf, sizeof buf);
        if (n <= 0 || !SockSendAll(to, buf, n)) return;
    }
}

} // namespace

CSocksStandIn::CSocksStandIn() : m_server([this](SOCKET_HANDLE s) { Serve(s); })
{
}

void CSocksStandIn::AddName(const std::string& strName, WORD nPort)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_names[strName] = nPort;
}

void CSocksStandIn::RequireAccount(const std::string& strUser, const std::string& strPassword)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_strUser = strUser;
    m_strPassword = strPassword;
}

void CSocksStandIn::RefuseWith(int nCode)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_nRefuse = nCode;
}

std::vector<std::string> CSocksStandIn::Requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

WORD CSocksStandIn::Lookup(const std::string& strHost, int nPort) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_names.find(strHost);
    if (it != m_names.end()) return it->second;
    if (strHost.compare(0, 4, "127.") == 0) return static_cast<WORD>(nPort);
    return 0;
}

bool CSocksStandIn::ServeV5(SOCKET_HANDLE s, std::string& strHost, int& nPort)
{
    std::string head = TestRecvCount(s, 1);
    if (head.size() != 1) return false;
    std::string methods = TestRecvCount(s, static_cast<size_t>(Byte(head, 0)));
    std::string strUser, strPassword;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        strUser = m_strUser;
        strPassword = m_strPassword;
    }
    const int nWanted = strUser.empty() ? 0 : 2;
    if (methods.find(static_cast<char>(nWanted)) == std::string::npos) {
        TestSend(s, Bytes({5, 0xFF}));
        return false;
    }
    TestSend(s, Bytes({5, nWanted}));
    if (nWanted == 2) {
        std::string ver = TestRecvCount(s, 2);
        if (ver.size() != 2) return false;
        std::string user = TestRecvCount(s, static_cast<size_t>(Byte(ver, 1)));
        std::string plen = TestRecvCount(s, 1);
        if (plen.size() != 1) return false;
        std::string password = TestRecvCount(s, static_cast<size_t>(Byte(plen, 0)));
        const bool bOk = user == strUser && password == strPassword;
        TestSend(s, Bytes({1, bOk ? 0 : 1}));
        if (!bOk) return false;
    }
    std::string req = TestRecvCount(s, 4);
    if (req.size() != 4 || Byte(req, 0) != 5 || Byte(req, 1) != 1) return false;
    if (Byte(req, 3) == 3) {
        std::string len = TestRecvCount(s, 1);
        if (len.size() != 1) return false;
        strHost = TestRecvCount(s, static_cast<size_t>(Byte(len, 0)));
    } else if (Byte(req, 3) == 1) {
        std::string a = TestRecvCount(s, 4);
        if (a.size() != 4) return false;
        strHost = std::to_string(Byte(a, 0)) + "." + std::to_string(Byte(a, 1)) + "." + std::to_string(Byte(a, 2)) +
                  "." + std::to_string(Byte(a, 3));
    } else {
        return false;
    }
    std::string port = TestRecvCount(s, 2);
    if (port.size() != 2) return false;
    nPort = Byte(port, 0) * 256 + Byte(port, 1);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back("5 " + strHost + ":" + std::to_string(nPort));
    }
    return true;
}

bool CSocksStandIn::ServeV4(SOCKET_HANDLE s, std::string& strHost, int& nPort)
{
    std::string req = TestRecvCount(s, 7);
    if (req.size() != 7 || Byte(req, 0) != 1) return false;
    nPort = Byte(req, 1) * 256 + Byte(req, 2);
    std::string strUserId;
    if (!RecvUntilNul(s, strUserId)) return false;
    if (Byte(req, 3) == 0 && Byte(req, 4) == 0 && Byte(req, 5) == 0 && Byte(req, 6) != 0) {
        if (!RecvUntilNul(s, strHost)) return false;
    } else {
        strHost = std::to_string(Byte(req, 3)) + "." + std::to_string(Byte(req, 4)) + "." +
                  std::to_string(Byte(req, 5)) + "." + std::to_string(Byte(req, 6));
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.push_back("4 " + strHost + ":" + std::to_string(nPort));
    return true;
}

void CSocksStandIn::Serve(SOCKET_HANDLE s)
{
    std::string version = TestRecvCount(s, 1);
    if (version.size() != 1) return;
    const bool bV5 = version[0] == 5;
    std::string strHost;
    int nPort = 0;
    if (!(bV5 ? ServeV5(s, strHost, nPort) : version[0] == 4 && ServeV4(s, strHost, nPort))) return;
    int nRefuse;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        nRefuse = m_nRefuse;
    }
    const WORD nTo = Lookup(strHost, nPort);
    SOCKET_HANDLE target = nRefuse == 0 && nTo != 0 ? TestConnect(nTo) : NO_SOCKET;
    if (target == NO_SOCKET && nRefuse == 0) nRefuse = nTo == 0 ? 4 : 5; // host unreachable, connection refused
    if (bV5)
        TestSend(s, Bytes({5, nRefuse, 0, 1, 127, 0, 0, 1, 0, 0}));
    else
        TestSend(s, Bytes({0, nRefuse == 0 ? 90 : 91, 0, 0, 0, 0, 0, 0}));
    if (target == NO_SOCKET) return;
    Relay(s, target);
    SockClose(target);
}
