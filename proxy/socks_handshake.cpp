// SOCKS4a (with plain SOCKS4 for a dotted address) and SOCKS5 with the
// username and password method of RFC 1929, byte by byte.
#include "proxy/socks_handshake.h"

namespace {

const unsigned char SOCKS5_NO_ACCOUNT = 0x00;
const unsigned char SOCKS5_USER_PASSWORD = 0x02;
const unsigned char SOCKS5_NO_METHOD = 0xFF;
const unsigned char SOCKS_CONNECT = 0x01;
const unsigned char SOCKS4_GRANTED = 90;
// The fields that carry a name or an account hold at most this much.
const size_t MAX_FIELD = 255;

// "a.b.c.d" with four decimal parts of 0 to 255, nothing else: only that
// form is sent as an address; every other text is a name for the server.
bool ParseDottedIPv4(const std::string& strHost, unsigned char addr[4])
{
    int nPart = 0, nDigits = 0, nValue = 0;
    for (size_t i = 0; i <= strHost.size(); ++i) {
        const char ch = i < strHost.size() ? strHost[i] : '.';
        if (ch >= '0' && ch <= '9') {
            nValue = nValue * 10 + (ch - '0');
            if (++nDigits > 3 || nValue > 255) return false;
        } else if (ch == '.' && nDigits > 0 && nPart < 4) {
            addr[nPart++] = static_cast<unsigned char>(nValue);
            nDigits = nValue = 0;
        } else {
            return false;
        }
    }
    return nPart == 4;
}

void AppendPort(std::string& strOut, WORD nPort)
{
    strOut += static_cast<char>(nPort >> 8);
    strOut += static_cast<char>(nPort & 0xFF);
}

ESocksError Socks5ReplyError(unsigned char code)
{
    switch (code) {
    case 1: return SOCKS_ERROR_GENERAL_FAILURE;
    case 2: return SOCKS_ERROR_NOT_ALLOWED;
    case 3: return SOCKS_ERROR_NETWORK_UNREACHABLE;
    case 4: return SOCKS_ERROR_HOST_UNREACHABLE;
    case 5: return SOCKS_ERROR_CONNECTION_REFUSED;
    case 6: return SOCKS_ERROR_TTL_EXPIRED;
    case 7: return SOCKS_ERROR_COMMAND_NOT_SUPPORTED;
    case 8: return SOCKS_ERROR_ADDRESS_TYPE_NOT_SUPPORTED;
    default: return SOCKS_ERROR_UNKNOWN_REPLY;
    }
}

ESocksError Socks4ReplyError(unsigned char code)
{
    switch (code) {
    case 91: return SOCKS_ERROR_REJECTED;
    case 92: return SOCKS_ERROR_IDENTD_UNREACHABLE;
    case 93: return SOCKS_ERROR_IDENTD_MISMATCH;
    default: return SOCKS_ERROR_GARBLED;
    }
}

} // namespace

LPCTSTR SocksErrorText(ESocksError eError)
{
    switch (eError) {
    case SOCKS_ERROR_NONE: return "success";
    case SOCKS_ERROR_GENERAL_FAILURE: return "general failure";
    case SOCKS_ERROR_NOT_ALLOWED: return "not allowed";
    case SOCKS_ERROR_NETWORK_UNREACHABLE: return "network unreachable";
    case SOCKS_ERROR_HOST_UNREACHABLE: return "host unreachable";
    case SOCKS_ERROR_CONNECTION_REFUSED: return "connection refused";
    case SOCKS_ERROR_TTL_EXPIRED: return "TTL expired";
    case SOCKS_ERROR_COMMAND_NOT_SUPPORTED: return "command not supported";
    case SOCKS_ERROR_ADDRESS_TYPE_NOT_SUPPORTED: return "address type not supported";
    case SOCKS_ERROR_UNKNOWN_REPLY: return "an unknown SOCKS reply";
    case SOCKS_ERROR_REJECTED: return "request rejected or failed";
    case SOCKS_ERROR_IDENTD_UNREACHABLE: return "the proxy could not reach the client's identd";
    case SOCKS_ERROR_IDENTD_MISMATCH: return "the client's identd gave another user id";
    case SOCKS_ERROR_ACCOUNT_REFUSED: return "the proxy refused the account";
    case SOCKS_ERROR_ACCOUNT_WANTED: return "the proxy wants an account";
    case SOCKS_ERROR_GARBLED: return "not a SOCKS answer";
    case SOCKS_ERROR_CLOSED: return "the proxy closed the connection";
    case SOCKS_ERROR_TOO_LONG: return "the name or account does not fit a SOCKS request";
    }
    return "an unknown SOCKS reply";
}

CSocksHandshake::EStatus CSocksHandshake::Fail(ESocksError eError)
{
    m_eStep = STEP_FAILED;
    m_eError = eError;
    return FAILED;
}

CSocksHandshake::EStatus CSocksHandshake::Finish()
{
    m_eStep = STEP_DONE;
    m_eError = SOCKS_ERROR_NONE;
    return DONE;
}

CSocksHandshake::EStatus CSocksHandshake::Start(ESocksVersion eVersion, const CString& strHost, WORD nPort,
                                                const CString& strUser, const CString& strPassword, std::string& strOut)
{
    *this = CSocksHandshake();
    m_strHost = strHost.str();
    m_nPort = nPort;
    m_strUser = strUser.str();
    m_strPassword = strPassword.str();
    // Every field is counted in one byte (SOCKS5) or ends at a NUL (SOCKS4a).
    if (m_strHost.empty() || m_strHost.size() > MAX_FIELD || m_strUser.size() > MAX_FIELD ||
        m_strPassword.size() > MAX_FIELD || m_strHost.find('\0') != std::string::npos ||
        m_strUser.find('\0') != std::string::npos)
        return Fail(SOCKS_ERROR_TOO_LONG);

    if (eVersion == SOCKS_V4A) {
        unsigned char addr[4];
        const bool bAddress = ParseDottedIPv4(m_strHost, addr);
        strOut += '\x04';
        strOut += static_cast<char>(SOCKS_CONNECT);
        AppendPort(strOut, nPort);
        // 0.0.0.x (x not 0) tells a SOCKS4a server that the name follows.
        if (bAddress)
            strOut.append(reinterpret_cast<const char*>(addr), 4);
        else
            strOut.append("\0\0\0\x01", 4);
        strOut += m_strUser;
        strOut += '\0';
        if (!bAddress) {
            strOut += m_strHost;
            strOut += '\0';
        }
        m_eStep = STEP_V4_REPLY;
        return NEED_MORE;
    }
    // With an account, the server may still choose to want none.
    strOut += '\x05';
    if (m_strUser.empty()) {
        strOut += '\x01';
        strOut += static_cast<char>(SOCKS5_NO_ACCOUNT);
    } else {
        strOut += '\x02';
        strOut += static_cast<char>(SOCKS5_NO_ACCOUNT);
        strOut += static_cast<char>(SOCKS5_USER_PASSWORD);
    }
    m_eStep = STEP_V5_METHOD;
    return NEED_MORE;
}

void CSocksHandshake::AppendV5Request(std::string& strOut) const
{
    strOut += '\x05';
    strOut += static_cast<char>(SOCKS_CONNECT);
    strOut += '\0';
    unsigned char addr[4];
    if (ParseDottedIPv4(m_strHost, addr)) {
        strOut += '\x01';
        strOut.append(reinterpret_cast<const char*>(addr), 4);
    } else {
        strOut += '\x03';
        strOut += static_cast<char>(m_strHost.size());
        strOut += m_strHost;
    }
    AppendPort(strOut, m_nPort);
}

int CSocksHandshake::BytesWanted() const
{
    const int nHave = static_cast<int>(m_strReceived.size());
    switch (m_eStep) {
    case STEP_V4_REPLY: return 8 - nHave;
    case STEP_V5_METHOD:
    case STEP_V5_ACCOUNT: return 2 - nHave;
    case STEP_V5_REPLY: {
        // VER REP RSV ATYP, then the bound address (its first byte gives a
        // name's length) and the port.
        if (nHave < 5) return 5 - nHave;
        const unsigned char atyp = static_cast<unsigned char>(m_strReceived[3]);
        int nAddress = 0;
        if (atyp == 1)
            nAddress = 4;
        else if (atyp == 4)
            nAddress = 16;
        else
            nAddress = 1 + static_cast<unsigned char>(m_strReceived[4]);
        return 4 + nAddress + 2 - nHave;
    }
    default: return 0;
    }
}

CSocksHandshake::EStatus CSocksHandshake::Feed(const char* pData, int nLength, int* pnUsed, std::string& strOut)
{
    *pnUsed = 0;
    EStatus eStatus = m_eStep == STEP_DONE ? DONE : m_eStep == STEP_FAILED ? FAILED : NEED_MORE;
    while (eStatus == NEED_MORE && *pnUsed < nLength) {
        int nTake = BytesWanted();
        if (nTake <= 0) break;
        if (nTake > nLength - *pnUsed) nTake = nLength - *pnUsed;
        m_strReceived.append(pData + *pnUsed, static_cast<size_t>(nTake));
        *pnUsed += nTake;
        eStatus = TakeStep(strOut);
    }
    return eStatus;
}

CSocksHandshake::EStatus CSocksHandshake::TakeStep(std::string& strOut)
{
    const std::string& r = m_strReceived;
    const size_t n = r.size();
    auto at = [&r](size_t i) { return static_cast<unsigned char>(r[i]); };
    switch (m_eStep) {
    case STEP_V4_REPLY:
        // Some servers put their own version (4) where 0 belongs.
        if (at(0) != 0 && at(0) != 4) return Fail(SOCKS_ERROR_GARBLED);
        // A refusal is known from its code; the rest need not come.
        if (n >= 2 && at(1) != SOCKS4_GRANTED) return Fail(Socks4ReplyError(at(1)));
        return n < 8 ? NEED_MORE : Finish();
    case STEP_V5_METHOD:
        if (at(0) != 5) return Fail(SOCKS_ERROR_GARBLED);
        if (n < 2) return NEED_MORE;
        m_strReceived.clear();
        if (at(1) == SOCKS5_NO_METHOD) return Fail(SOCKS_ERROR_ACCOUNT_WANTED);
        if (at(1) == SOCKS5_USER_PASSWORD && !m_strUser.empty()) {
            // RFC 1929: version 1, then each field counted in one byte.
            strOut += '\x01';
            strOut += static_cast<char>(m_strUser.size());
            strOut += m_strUser;
            strOut += static_cast<char>(m_strPassword.size());
            strOut += m_strPassword;
            m_eStep = STEP_V5_ACCOUNT;
            return NEED_MORE;
        }
        if (at(1) != SOCKS5_NO_ACCOUNT) return Fail(SOCKS_ERROR_GARBLED); // a method not offered
        AppendV5Request(strOut);
        m_eStep = STEP_V5_REPLY;
        return NEED_MORE;
    case STEP_V5_ACCOUNT:
        // Version 1 by the RFC; some servers answer with 5.
        if (at(0) != 1 && at(0) != 5) return Fail(SOCKS_ERROR_GARBLED);
        if (n < 2) return NEED_MORE;
        if (at(1) != 0) return Fail(SOCKS_ERROR_ACCOUNT_REFUSED);
        m_strReceived.clear();
        AppendV5Request(strOut);
        m_eStep = STEP_V5_REPLY;
        return NEED_MORE;
    case STEP_V5_REPLY:
        if (at(0) != 5) return Fail(SOCKS_ERROR_GARBLED);
        if (n < 2) return NEED_MORE;
        if (at(1) != 0) return Fail(Socks5ReplyError(at(1)));
        if (n >= 3 && at(2) != 0) return Fail(SOCKS_ERROR_GARBLED);
        if (n >= 4 && at(3) != 1 && at(3) != 3 && at(3) != 4) return Fail(SOCKS_ERROR_GARBLED);
        return BytesWanted() > 0 ? NEED_MORE : Finish();
    default: return m_eStep == STEP_DONE ? DONE : FAILED;
    }
}

CSocksHandshake::EStatus CSocksHandshake::Closed()
{
    if (m_eStep == STEP_DONE) return DONE;
    if (m_eStep == STEP_FAILED) return FAILED;
    return Fail(SOCKS_ERROR_CLOSED);
}
