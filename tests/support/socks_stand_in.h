// A stand-in SOCKS4a and SOCKS5 server on 127.0.0.1 for tests: it knows
// names of its own (which nothing else on the machine resolves), may want
// an account (RFC 1929), may answer every request with one refusal code,
// and records what it was asked to connect to. Granted connections go to a
// loopback port and are relayed both ways. Runs natively and under Wine.
#pragma once

#include "support/loopback_tcp.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

class CSocksStandIn {
public:
    CSocksStandIn();
    CSocksStandIn(const CSocksStandIn&) = delete;
    CSocksStandIn& operator=(const CSocksStandIn&) = delete;

    WORD Port() const { return m_server.Port(); }

    // A name only this server resolves, to 127.0.0.1:nPort whatever port
    // the request names. Dotted 127.x.y.z addresses are reached as they are.
    void AddName(const std::string& strName, WORD nPort);
    // From now on SOCKS5 clients must log in with this account.
    void RequireAccount(const std::string& strUser, const std::string& strPassword);
    // From now on every connect request is answered with this code (SOCKS5:
    // 1 to 8; a SOCKS4 request then gets 91). 0: grant as usual.
    void RefuseWith(int nCode);

    // "5 name:port" or "4 name:port" for each connect request, in order.
    std::vector<std::string> Requests() const;

private:
    void Serve(SOCKET_HANDLE s);
    bool ServeV5(SOCKET_HANDLE s, std::string& strHost, int& nPort);
    bool ServeV4(SOCKET_HANDLE s, std::string& strHost, int& nPort);
    // The loopback port the name reaches, 0 when unknown.
    WORD Lookup(const std::string& strHost, int nPort) const;

    mutable std::mutex m_mutex; // guards the members below
    std::map<std::string, WORD> m_names;
    std::string m_strUser, m_strPassword;
    int m_nRefuse = 0;
    std::vector<std::string> m_requests;
    CTestTcpServer m_server; // last: its threads use the members above
};
