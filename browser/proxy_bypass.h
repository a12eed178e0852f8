// The addresses the browser reaches without the proxy unless the user says
// otherwise (the ProxyBypass setting): names without a dot ("<local>") and
// this machine, each written out whole. The browser matches the list against
// the name as a page writes it, before any lookup: a pattern such as "10.*"
// also matched "10.attacker.example", which the browser then looked up and
// connected to itself, handing the attacker the user's real address. The
// user's own network still works without the list: the local proxy reaches
// an address in a private, loopback or link-local range itself.
#pragma once

#define CLOAKWALL_DEFAULT_PROXY_BYPASS "<local>;localhost;127.0.0.1;[::1]"

// The default of earlier versions, with the patterns above. A stored value
// equal to it is the old default, never the user's choice, and start-up
// replaces it (see proxy_bypass_setting.h).
#define CLOAKWALL_EARLIER_PROXY_BYPASS                                                                                 \
    "<local>;localhost;127.*;10.*;172.16.*;172.17.*;172.18.*;172.19.*;172.20.*;172.21.*;172.22.*;172.23.*;"            \
    "172.24.*;172.25.*;172.26.*;172.27.*;172.28.*;172.29.*;172.30.*;172.31.*;192.168.*;169.254.*;[::1]"
