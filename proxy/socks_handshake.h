// The SOCKS4a and SOCKS5 handshakes as bytes: what to send, what the bytes
// received mean, and the reply's error in words. No sockets here, so the
// blocking dialer and a non-blocking tester can drive the same handshake.
//
// The target always goes to the SOCKS server as the name it is (SOCKS4a's
// host field, SOCKS5's address type 3): looking it up here would show every
// site's name to the local network's resolver. Only a target written as a
// dotted IPv4 address goes as the address it already is.
#pragma once

#include "framework/core/cstring.h"

#include <string>

enum ESocksVersion { SOCKS_V4A, SOCKS_V5 };

// Why a handshake failed. The texts are SocksErrorText's.
enum ESocksError {
    SOCKS_ERROR_NONE,
    // SOCKS5 reply codes 1 to 8.
    SOCKS_ERROR_GENERAL_FAILURE,
    SOCKS_ERROR_NOT_ALLOWED,
    SOCKS_ERROR_NETWORK_UNREACHABLE,
    SOCKS_ERROR_HOST_UNREACHABLE,
    SOCKS_ERROR_CONNECTION_REFUSED,
    SOCKS_ERROR_TTL_EXPIRED,
    SOCKS_ERROR_COMMAND_NOT_SUPPORTED,
    SOCKS_ERROR_ADDRESS_TYPE_NOT_SUPPORTED,
    SOCKS_ERROR_UNKNOWN_REPLY, // a SOCKS5 code past 8
    // SOCKS4 reply codes 91 to 93.
    SOCKS_ERROR_REJECTED,
    SOCKS_ERROR_IDENTD_UNREACHABLE,
    SOCKS_ERROR_IDENTD_MISMATCH,
    // The account (RFC 1929), or the lack of one.
    SOCKS_ERROR_ACCOUNT_REFUSED,
    SOCKS_ERROR_ACCOUNT_WANTED, // no method offered suits the server
    // The server's bytes are no SOCKS reply, or stopped short.
    SOCKS_ERROR_GARBLED,
    SOCKS_ERROR_CLOSED,
    // Nothing was sent: the name or the account does not fit the protocol.
    SOCKS_ERROR_TOO_LONG,
};

// The error in words, for a 502 page and the tester: "host unreachable",
// "connection refused", "not allowed", "the proxy refused the account"...
LPCTSTR SocksErrorText(ESocksError eError);

// The state of one handshake on one connection to the SOCKS server.
class CSocksHandshake {
public:
    enum EStatus { NEED_MORE, DONE, FAILED };

    // Sets up the handshake for a connection to strHost:nPort and appends
    // the first bytes to send to strOut. An empty user name offers no
    // account; SOCKS4a sends the user name (no password) as its user id.
    // FAILED (SOCKS_ERROR_TOO_LONG) when the name or account cannot be put
    // in the protocol's fields; NEED_MORE otherwise.
    EStatus Start(ESocksVersion eVersion, const CString& strHost, WORD nPort, const CString& strUser,
                  const CString& strPassword, std::string& strOut);

    // Takes bytes received from the server; at most BytesWanted() of them
    // are used, and *pnUsed says how many. What the server sent after its
    // final reply belongs to the tunnel and is left to the caller. Appends
    // to strOut what is to be sent next.
    EStatus Feed(const char* pData, int nLength, int* pnUsed, std::string& strOut);

    // The server closed the connection before the handshake was done.
    EStatus Closed();

    // How many bytes the current step still needs at least; reading no
    // more than this never takes a byte of the tunnel. 0 when done or failed.
    int BytesWanted() const;

    ESocksError Error() const { return m_eError; }

private:
    enum EStep { STEP_NONE, STEP_V4_REPLY, STEP_V5_METHOD, STEP_V5_ACCOUNT, STEP_V5_REPLY, STEP_DONE, STEP_FAILED };

    EStatus Fail(ESocksError eError);
    EStatus Finish();
    void AppendV5Request(std::string& strOut) const;
    EStatus TakeStep(std::string& strOut);

    EStep m_eStep = STEP_NONE;
    ESocksError m_eError = SOCKS_ERROR_NONE;
    std::string m_strHost;
    WORD m_nPort = 0;
    std::string m_strUser;
    std::string m_strPassword;
    std::string m_strReceived; // of the current step
};
