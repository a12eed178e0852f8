// Requests for the user's own network. A page can name any host; the
// browser's bypass list holds only exact names, so a request for a private
// address comes to this proxy, which reaches it itself: the router's page
// and the LAN keep working, and the address never goes to a stranger's
// proxy (which would reach its own network with it). Only an address
// written as such counts, decided strictly as inet_pton does: a name that
// merely starts like one ("10.attacker.example") goes to the upstream and
// is never looked up here, where the answer would lead the connection, and
// the user's real address, to whoever serves the name.
#pragma once

#include "framework/core/cstring.h"
#include "proxy/internal/request_head.h"

#include <cstdint>
#include <string>

// Four decimal parts of 0 to 255 without leading zeros, joined by dots;
// nAddr in host order ("10.0.0.1" is 0x0A000001).
bool ParseStrictIPv4(const std::string& strText, std::uint32_t& nAddr);

// Eight groups of one to four hex digits, one "::" for a run of zeros, the
// last two groups may be a strict dotted IPv4 address; no zone.
bool ParseStrictIPv6(const std::string& strText, std::uint16_t groups[8]);

// The host, an IPv6 address in brackets or bare, as its 16 bytes in
// network order; false for anything else.
bool IPv6LiteralBytes(const std::string& strHost, unsigned char bytes[16]);

// The host (IPv6 in brackets or bare) is an address in 10/8, 172.16/12,
// 192.168/16, 127/8, 169.254/16, ::1, fe80::/10 or fc00::/7.
bool IsPrivateAddressLiteral(const std::string& strHost);

// The server a request is for, as written: a CONNECT's authority (IPv6
// without its brackets), any other request's Host value. false when a
// CONNECT names no host and port.
bool RequestServer(const CRequestHead& head, CString& rHost, int& rPort);

// The request's server is a private address literal (see above).
bool RequestNamesPrivateAddress(const CRequestHead& head);
