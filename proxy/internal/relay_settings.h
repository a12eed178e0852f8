// The settings a relay's upstream connections go out with, and the check
// that they are still the ones in force.
//
// A browser's kept-alive connection outlives many upstream connections and
// may outlive the settings it began with: the user moves to another proxy
// (one that leaks less, or one that works), turns the upstream off, or turns
// a filter switch. Every new upstream connection of a relay, and every new
// request on one already open, first asks AreRelaySettingsCurrent; when the
// answer is no, the relay carries nothing more and ends the browser's
// connection once the answers already asked for are through, so nothing
// reaches a proxy (or a server, or the browser unfiltered) that the user left.
#pragma once

#include "proxy/internal/upstream_config.h"

struct CRelaySettings {
    CUpstreamConfigPtr pConfig; // never null once taken
    DWORD dwEnableJS = 0;
    DWORD dwEnableActiveX = 0;
};

// The settings in force now.
CRelaySettings TakeRelaySettings();

// TRUE when rSettings are still in force. A restart that kept the same
// upstream, account and switches leaves them in force too; rSettings then
// takes the configuration of that start, so that its health counter hears
// of the relay's connections from now on. Cheap: a pointer compared in the
// usual case.
BOOL AreRelaySettingsCurrent(CRelaySettings& rSettings);
