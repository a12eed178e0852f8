// The bypass list as start-up leaves it: a ProxyBypass value that is still
// the default of earlier versions, whose patterns a page could abuse (see
// browser/proxy_bypass.h), becomes today's default; a list the user edited
// stays as it is. Called once, after the settings objects are read and
// before the dialog switches anonymous browsing on with the list.
#pragma once

void ReplaceEarlierDefaultBypass();
