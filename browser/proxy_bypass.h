// The addresses the browser reaches without the proxy unless the user says
// otherwise (the ProxyBypass setting): names without a dot ("<local>"), this
// machine, and the private and link-local ranges. Intranet names, the
// router's page and a captive portal would fail at a stranger's proxy and
// tell it the names of the user's own network.
#pragma once

#define CLOAKWALL_DEFAULT_PROXY_BYPASS                                                                                 \
    "<local>;localhost;127.*;10.*;172.16.*;172.17.*;172.18.*;172.19.*;172.20.*;172.21.*;172.22.*;172.23.*;"            \
    "172.24.*;172.25.*;172.26.*;172.27.*;172.28.*;172.29.*;172.30.*;172.31.*;192.168.*;169.254.*;[::1]"
