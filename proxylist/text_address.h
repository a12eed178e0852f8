// Finding the IP addresses written in a text (a header's value, a judge's
// line), so that the grader can tell whether the user's address travelled.
#pragma once

#include "framework/core/cstring.h"

#include <vector>

// Appends every address written in the text: dotted IPv4 (four parts of 0
// to 255, nothing but a separator on either side, so "127.0.0.12" does not
// hold "127.0.0.1" and "1.2.3.4.5" holds nothing) and IPv6 (with "::" or all
// eight groups, so times such as "00:10:45" are none). Each comes in one
// normal form, so two ways of writing an address compare equal: IPv4 without
// leading zeros, IPv6 as 32 lower-case hex digits, and an IPv4-mapped IPv6
// address as its IPv4 part.
void FindAddresses(const CString& strText, std::vector<CString>& rAddresses);

// TRUE when the text holds an address that rAddresses (normal forms, as
// FindAddresses gives them) lists.
BOOL HoldsAnyAddress(const CString& strText, const std::vector<CString>& addresses);
