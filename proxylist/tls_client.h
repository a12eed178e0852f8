// A TLS client over bytes, with the system's own TLS (Schannel through
// SSPI): the caller moves the bytes over whatever connection it has (a
// tunnel through a proxy, blocking or driven by a batch's wait), this class
// makes and reads the records. No sockets here, so the blocking test of one
// entry and the batch's step machine share the same handshake and checks.
//
// The server's certificate is checked by us, not by Schannel, once the
// handshake is done: the chain against the system's roots and the name
// against the host we asked for. A proxy that answers the handshake with a
// certificate of its own is then told apart from one that simply breaks the
// tunnel.
//
// Wine 8 differs from Windows here: its SSL chain policy passes a chain
// that ends short of any root (a server that sends only its own
// certificate, from a CA nobody trusts), so the chain's own trust status is
// read as well; and its crypt32 takes the trusted roots from the host's CA
// bundle (/etc/ssl/certs/ca-certificates.crt), read by each process: a CA
// added to the prefix's Root store (the user's or the machine's) was not
// found when a chain was built.
#pragma once

#include "framework/core/cstring.h"

#include <string>

class CTlsClient {
public:
    enum EStatus {
        TLS_NEED_MORE, // feed the peer's next bytes
        TLS_DONE,      // handshake finished; or, decrypting, the peer closed the session
        TLS_FAILED     // no session: Error says the SSPI status
    };
    enum ECertVerdict {
        CERT_UNCHECKED, // no handshake yet
        CERT_VERIFIED,  // chains to a trusted root and names the host
        CERT_REJECTED   // another name, an unknown root, expired...: not the site's own
    };

    CTlsClient();
    ~CTlsClient(); // gives back the context and the credentials
    CTlsClient(const CTlsClient&) = delete;
    CTlsClient& operator=(const CTlsClient&) = delete;

    // Opens a session to strHost (the name the certificate must carry and
    // the handshake's server name) and appends the client's first flight to
    // strOut. TLS_FAILED when the system has no TLS to give.
    EStatus Start(const CString& strHost, std::string& strOut);

    // Handshake bytes from the server; appends what to send next to strOut.
    // Bytes past the handshake's end are kept for Decrypt.
    EStatus Feed(const char* pData, int nLength, std::string& strOut);

    // Once the handshake is DONE: the server's certificate checked for the
    // host. Computed once.
    ECertVerdict CheckCertificate();
    // The chain policy's error for a rejected certificate
    // (CERT_E_UNTRUSTEDROOT, CERT_E_CN_NO_MATCH...), or the SSPI status of a
    // failed handshake; 0 otherwise.
    long Error() const { return m_nError; }

    // Appends strPlain as records to strOut. FALSE before the handshake or
    // when the system refused.
    BOOL Encrypt(const std::string& strPlain, std::string& strOut);

    // Records from the server (together with any kept from the handshake):
    // the plain bytes appended to strPlain. TLS_DONE once the server closed
    // the session, TLS_FAILED for records that do not decrypt.
    EStatus Decrypt(const char* pData, int nLength, std::string& strPlain);

private:
    EStatus Fail(long nStatus);
    EStatus Step(std::string& strOut);

    struct CHandles;
    CHandles* m_p;
    CString m_strHost;
    std::string m_strIn; // received, not yet used
    BOOL m_bOpen = FALSE;
    BOOL m_bAskedAgain = FALSE; // after a request for a client certificate
    ECertVerdict m_eVerdict = CERT_UNCHECKED;
    long m_nError = 0;
};
