// The vendor's web server and the addresses the program fetches from it. The
// caller passes the server in as the UpdateServer setting names it ("host" or
// "host:port", blanks around it ignored); this library reads no settings.
#pragma once

#include "framework/core/cstring.h"

CString GetProxyListUrl(LPCTSTR pszUpdateServer);   // http://<server>/licensing/ProxyGenerator/proxylist.txt
CString GetSpeedSampleUrl(LPCTSTR pszUpdateServer); // http://<server>/bandwidthchecker/dlsample1.gif
