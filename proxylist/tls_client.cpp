// Schannel's handshake, records and our own certificate check, over bytes.
#include "tls_client.h"

#define SECURITY_WIN32
#include <windows.h>

#include <schannel.h>
#include <security.h>
#include <wincrypt.h>

#include <vector>

namespace {

const DWORD kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                            ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_MANUAL_CRED_VALIDATION;

// A handshake token the system allocated: moved to the output and freed.
void TakeToken(SecBuffer& buffer, std::string& strOut)
{
    if (buffer.pvBuffer && buffer.cbBuffer) strOut.append(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
    if (buffer.pvBuffer) FreeContextBuffer(buffer.pvBuffer);
    buffer.pvBuffer = nullptr;
}

// The last cbExtra bytes of the input are the next record's: kept, the rest
// dropped. Some providers leave the extra buffer's pointer empty, so the
// bytes are taken from the end of what was given.
void KeepExtra(std::string& strIn, const SecBuffer* pBuffers, int nCount)
{
    for (int i = 0; i < nCount; ++i)
        if (pBuffers[i].BufferType == SECBUFFER_EXTRA && pBuffers[i].cbBuffer > 0) {
            strIn.erase(0, strIn.size() - pBuffers[i].cbBuffer);
            return;
        }
    strIn.clear();
}

std::wstring Widen(const CString& str)
{
    std::wstring strWide;
    for (int i = 0; i < str.GetLength(); ++i) strWide += static_cast<wchar_t>(static_cast<unsigned char>(str[i]));
    return strWide;
}

// What a chain's trust status says against it; 0 when nothing. Revocation
// is not asked for, so its "unknown" bits say nothing here.
long ChainError(DWORD dwStatus)
{
    if (dwStatus & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN | CERT_TRUST_IS_CYCLIC))
        return static_cast<long>(CERT_E_UNTRUSTEDROOT);
    if (dwStatus & CERT_TRUST_IS_NOT_TIME_VALID) return static_cast<long>(CERT_E_EXPIRED);
    if (dwStatus & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) return static_cast<long>(CERT_E_WRONG_USAGE);
    if (dwStatus & (CERT_TRUST_IS_NOT_SIGNATURE_VALID | CERT_TRUST_IS_REVOKED))
        return static_cast<long>(CERT_E_CHAINING);
    return 0;
}

} // namespace

struct CTlsClient::CHandles {
    CredHandle cred;
    CtxtHandle context;
    BOOL bCred = FALSE;
    BOOL bContext = FALSE;
    SecPkgContext_StreamSizes sizes{};
};

CTlsClient::CTlsClient() : m_p(new CHandles)
{
}

CTlsClient::~CTlsClient()
{
    if (m_p->bContext) DeleteSecurityContext(&m_p->context);
    if (m_p->bCred) FreeCredentialsHandle(&m_p->cred);
    delete m_p;
}

CTlsClient::EStatus CTlsClient::Fail(long nStatus)
{
    m_nError = nStatus;
    m_bOpen = FALSE;
    return TLS_FAILED;
}

CTlsClient::EStatus CTlsClient::Start(const CString& strHost, std::string& strOut)
{
    m_strHost = strHost;
    SCHANNEL_CRED cred{};
    cred.dwVersion = SCHANNEL_CRED_VERSION;
    // We check the certificate ourselves, so that a wrong one is told apart
    // from a broken tunnel; no client certificate is ever offered.
    cred.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
    TimeStamp expiry;
    SECURITY_STATUS status = AcquireCredentialsHandleA(nullptr, const_cast<char*>(UNISP_NAME_A), SECPKG_CRED_OUTBOUND,
                                                       nullptr, &cred, nullptr, nullptr, &m_p->cred, &expiry);
    if (status != SEC_E_OK) return Fail(status);
    m_p->bCred = TRUE;

    SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
    ULONG nAttributes = 0;
    status = InitializeSecurityContextA(&m_p->cred, nullptr, const_cast<char*>(strHost.GetString()), kContextFlags, 0,
                                        0, nullptr, 0, &m_p->context, &outDesc, &nAttributes, &expiry);
    if (status != SEC_I_CONTINUE_NEEDED) {
        if (out.pvBuffer) FreeContextBuffer(out.pvBuffer);
        return Fail(status);
    }
    m_p->bContext = TRUE;
    TakeToken(out, strOut);
    return TLS_NEED_MORE;
}

CTlsClient::EStatus CTlsClient::Feed(const char* pData, int nLength, std::string& strOut)
{
    if (!m_p->bContext || m_bOpen || m_nError) return TLS_FAILED;
    m_strIn.append(pData, static_cast<size_t>(nLength));
    return Step(strOut);
}

CTlsClient::EStatus CTlsClient::Step(std::string& strOut)
{
    while (!m_strIn.empty()) {
        SecBuffer in[2] = {{static_cast<ULONG>(m_strIn.size()), SECBUFFER_TOKEN, &m_strIn[0]},
                           {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
        SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
        SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
        ULONG nAttributes = 0;
        TimeStamp expiry;
        SECURITY_STATUS status =
            InitializeSecurityContextA(&m_p->cred, &m_p->context, const_cast<char*>(m_strHost.GetString()),
                                       kContextFlags, 0, 0, &inDesc, 0, nullptr, &outDesc, &nAttributes, &expiry);
        if (status == SEC_E_INCOMPLETE_MESSAGE) {
            if (out.pvBuffer) FreeContextBuffer(out.pvBuffer);
            return TLS_NEED_MORE;
        }
        // A failed handshake may still carry an alert for the server.
        TakeToken(out, strOut);
        // The server asked for a client certificate: none is offered, and
        // Windows goes on without one when asked again with the same bytes.
        if (status == SEC_I_INCOMPLETE_CREDENTIALS && !m_bAskedAgain) {
            m_bAskedAgain = TRUE;
            continue;
        }
        if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED) return Fail(status);
        KeepExtra(m_strIn, in, 2);
        if (status == SEC_E_OK) {
            if (QueryContextAttributesA(&m_p->context, SECPKG_ATTR_STREAM_SIZES, &m_p->sizes) != SEC_E_OK)
                return Fail(SEC_E_INTERNAL_ERROR);
            m_bOpen = TRUE;
            return TLS_DONE;
        }
    }
    return TLS_NEED_MORE;
}

CTlsClient::ECertVerdict CTlsClient::CheckCertificate()
{
    if (!m_bOpen || m_eVerdict != CERT_UNCHECKED) return m_eVerdict;
    m_eVerdict = CERT_REJECTED;
    PCCERT_CONTEXT pCert = nullptr;
    if (QueryContextAttributesA(&m_p->context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &pCert) != SEC_E_OK || !pCert) {
        m_nError = static_cast<long>(CERT_E_UNTRUSTEDROOT);
        return m_eVerdict;
    }
    // A certificate for a web server, as the browser will want it; the
    // intermediates the server sent come with its context's store.
    LPSTR usages[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH)};
    CERT_CHAIN_PARA chainPara{};
    chainPara.cbSize = sizeof chainPara;
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    PCCERT_CHAIN_CONTEXT pChain = nullptr;
    if (CertGetCertificateChain(nullptr, pCert, nullptr, pCert->hCertStore, &chainPara, 0, nullptr, &pChain)) {
        std::wstring strName = Widen(m_strHost);
        SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
        ssl.cbSize = sizeof ssl;
        ssl.dwAuthType = AUTHTYPE_SERVER;
        ssl.pwszServerName = &strName[0];
        CERT_CHAIN_POLICY_PARA policyPara{};
        policyPara.cbSize = sizeof policyPara;
        policyPara.pvExtraPolicyPara = &ssl;
        CERT_CHAIN_POLICY_STATUS policyStatus{};
        policyStatus.cbSize = sizeof policyStatus;
        if (CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, pChain, &policyPara, &policyStatus)) {
            m_nError = static_cast<long>(policyStatus.dwError);
            // Wine 8's SSL policy passes a chain that ends short of any root
            // (a server that sends only its own certificate, from a CA
            // nobody trusts); Windows' says CERT_E_UNTRUSTEDROOT. The
            // chain's own status says it on both.
            if (m_nError == 0) m_nError = ChainError(pChain->TrustStatus.dwErrorStatus);
            if (m_nError == 0) m_eVerdict = CERT_VERIFIED;
        }
        CertFreeCertificateChain(pChain);
    } else {
        m_nError = static_cast<long>(GetLastError());
    }
    CertFreeCertificateContext(pCert);
    return m_eVerdict;
}

BOOL CTlsClient::Encrypt(const std::string& strPlain, std::string& strOut)
{
    if (!m_bOpen) return FALSE;
    const SecPkgContext_StreamSizes& sizes = m_p->sizes;
    std::vector<char> record;
    for (size_t nDone = 0; nDone < strPlain.size();) {
        size_t nChunk = strPlain.size() - nDone;
        if (nChunk > sizes.cbMaximumMessage) nChunk = sizes.cbMaximumMessage;
        record.assign(sizes.cbHeader + nChunk + sizes.cbTrailer, 0);
        std::copy(strPlain.begin() + static_cast<std::ptrdiff_t>(nDone),
                  strPlain.begin() + static_cast<std::ptrdiff_t>(nDone + nChunk), record.begin() + sizes.cbHeader);
        SecBuffer buffers[4] = {{sizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
                                {static_cast<ULONG>(nChunk), SECBUFFER_DATA, record.data() + sizes.cbHeader},
                                {sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + sizes.cbHeader + nChunk},
                                {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
        if (EncryptMessage(&m_p->context, 0, &desc, 0) != SEC_E_OK) return FALSE;
        strOut.append(record.data(), buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
        nDone += nChunk;
    }
    return TRUE;
}

CTlsClient::EStatus CTlsClient::Decrypt(const char* pData, int nLength, std::string& strPlain)
{
    if (!m_bOpen) return TLS_FAILED;
    if (nLength > 0) m_strIn.append(pData, static_cast<size_t>(nLength));
    while (!m_strIn.empty()) {
        SecBuffer buffers[4] = {{static_cast<ULONG>(m_strIn.size()), SECBUFFER_DATA, &m_strIn[0]},
                                {0, SECBUFFER_EMPTY, nullptr},
                                {0, SECBUFFER_EMPTY, nullptr},
                                {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
        SECURITY_STATUS status = DecryptMessage(&m_p->context, &desc, 0, nullptr);
        if (status == SEC_E_INCOMPLETE_MESSAGE) return TLS_NEED_MORE;
        if (status == SEC_I_CONTEXT_EXPIRED) {
            m_strIn.clear();
            return TLS_DONE;
        }
        if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE) return Fail(status);
        for (const SecBuffer& buffer : buffers)
            if (buffer.BufferType == SECBUFFER_DATA && buffer.cbBuffer)
                strPlain.append(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
        KeepExtra(m_strIn, buffers, 4);
        // A TLS 1.3 server's ticket after the handshake: Windows hands it
        // back to the handshake and asks for nothing to be sent. A real
        // renegotiation is not something a judge asks for.
        if (status == SEC_I_RENEGOTIATE) {
            std::string strNothing;
            m_bOpen = FALSE;
            EStatus eStep = Step(strNothing);
            if (eStep == TLS_FAILED) return eStep;
            m_bOpen = TRUE;
        }
    }
    return TLS_NEED_MORE;
}
