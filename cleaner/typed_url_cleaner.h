// CTypedUrlCleaner: blanks the addresses the user typed into the browser's
// address bar (url1 to url25 under the current user's TypedURLs key).
#pragma once

class CTypedUrlCleaner {
public:
    virtual ~CTypedUrlCleaner() = default;

    // Each of url1..url25 that holds text is overwritten with the empty
    // REG_SZ; absent values stay absent and the key stays. Failures are
    // dropped.
    void ClearTypedUrls();
};
