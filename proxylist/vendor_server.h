// The vendor's web server as the settings name it (UpdateServer, "host" or
// "host:port"), and the three addresses the program fetches from it.
#pragma once

#include "framework/core/cstring.h"

// The stored UpdateServer text, trimmed.
CString GetUpdateServer();

CString GetProxyListUrl();     // http://<server>/licensing/ProxyGenerator/proxylist.txt
CString GetSpeedSampleUrl();   // http://<server>/bandwidthchecker/dlsample1.gif

// MeasureDownloadSpeed with the sample on the configured server.
double MeasureDownloadSpeed(LPCTSTR pszHost, int nPort);

// The proxy-generator request to the configured server.
BOOL RequestProxyGenPage();
