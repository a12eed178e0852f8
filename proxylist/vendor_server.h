// The vendor's web server and the addresses the program fetches from it. The
// caller passes the server in as the UpdateServer setting names it ("host" or
// "host:port", blanks around it ignored); this library reads no settings.
#pragma once

#include "framework/core/cstring.h"

CString GetProxyListUrl(LPCTSTR pszUpdateServer);   // http://<server>/licensing/ProxyGenerator/proxylist.txt
CString GetSpeedSampleUrl(LPCTSTR pszUpdateServer); // http://<server>/bandwidthchecker/dlsample1.gif

// Where the speed of a proxy is measured: the vendor's sample when a vendor
// is set (IsRealUpdateServer), else the answer of the first judge of pszJudgeUrls (the list
// GetJudgeUrl gives); empty when there is neither.
CString GetSpeedSampleUrl(LPCTSTR pszUpdateServer, LPCTSTR pszJudgeUrls);
