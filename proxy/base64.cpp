// Base64 (RFC 4648 alphabet) with a line feed after every 72 characters of
// complete groups, and the proxy authorization line built from it.
#include "proxy/local_proxy_server.h"

namespace {

const char BASE64_ALPHABET[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const int BASE64_LINE = 72;

} // namespace

CString CLocalProxyServer::EncodeBase64(CString strInput)
{
    const std::string& in = strInput.str();
    std::string out;
    if (in.empty()) return CString();
    out.reserve(in.size() / 3 * 4 + in.size() / 54 + 4);

    size_t i = 0;
    int nLine = 0;
    for (; i + 3 <= in.size(); i += 3) {
        unsigned b0 = static_cast<unsigned char>(in[i]);
        unsigned b1 = static_cast<unsigned char>(in[i + 1]);
        unsigned b2 = static_cast<unsigned char>(in[i + 2]);
        out += BASE64_ALPHABET[b0 >> 2];
        out += BASE64_ALPHABET[((b0 & 0x03) << 4) | (b1 >> 4)];
        out += BASE64_ALPHABET[((b1 & 0x0F) << 2) | (b2 >> 6)];
        out += BASE64_ALPHABET[b2 & 0x3F];
        nLine += 4;
        if (nLine == BASE64_LINE) {
            out += '\n';
            nLine = 0;
        }
    }
    size_t nLeft = in.size() - i;
    if (nLeft == 1) {
        unsigned b0 = static_cast<unsigned char>(in[i]);
        out += BASE64_ALPHABET[b0 >> 2];
        out += BASE64_ALPHABET[(b0 & 0x03) << 4];
        out += "==";
    } else if (nLeft == 2) {
        unsigned b0 = static_cast<unsigned char>(in[i]);
        unsigned b1 = static_cast<unsigned char>(in[i + 1]);
        out += BASE64_ALPHABET[b0 >> 2];
        out += BASE64_ALPHABET[((b0 & 0x03) << 4) | (b1 >> 4)];
        out += BASE64_ALPHABET[(b1 & 0x0F) << 2];
        out += '=';
    }
    return CString(out);
}

CString BuildProxyAuthHeader(const CString& strUser, const CString& strPassword)
{
    CString strCredentials = CLocalProxyServer::EncodeBase64(strUser + ":" + strPassword);
    // A line feed inside a header line would end it there and turn the rest
    // of the credentials into a bogus header: the line stays whole.
    strCredentials.Remove('\n');
    CString strLine;
    strLine.Format("%s: Basic %s\r\n", "Proxy-Authorization", strCredentials.GetString());
    return strLine;
}
