// The credential seam: secrets the platform keeps for the user, each under a
// target name. The Win32 half (credential_store_win32.cpp) keeps them as
// generic credentials in the user's Credential Manager (advapi32 Cred*),
// which Windows protects for that user alone and Wine keeps per prefix; the
// POSIX half (credential_store_posix.cpp) keeps them in this process's memory
// for the host build. Texts are copied in and out: callers own what they
// pass and what they get back, and the platform's buffers are freed before a
// call returns. Failures come back as FALSE; nothing throws.
#pragma once

#include "framework/core/cstring.h"

// Stores (or replaces) the secret under pszTarget, with pszUser as the
// user name the store shows beside it. FALSE when the store refused it or
// the secret is too long for it.
BOOL CredStoreWrite(LPCTSTR pszTarget, LPCTSTR pszUser, LPCTSTR pszSecret);

// The secret stored under pszTarget. FALSE, with rSecret empty, when there
// is none or it cannot be read.
BOOL CredStoreRead(LPCTSTR pszTarget, CString& rSecret);
