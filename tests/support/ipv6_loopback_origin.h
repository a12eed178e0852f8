// An origin on [::1] for tests: the socket seam makes IPv6 connections only
// (an address in the user's own network that the proxy reaches itself), so
// this listener is the platform's own, kept here beside the other peers. It
// answers the connections it gets, each with the same bytes, and records
// their request heads. Port() is 0 where the system has no IPv6 loopback.
#pragma once

#include "framework/core/types.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CIPv6LoopbackOrigin {
public:
    explicit CIPv6LoopbackOrigin(const std::string& answer);
    ~CIPv6LoopbackOrigin();
    CIPv6LoopbackOrigin(const CIPv6LoopbackOrigin&) = delete;
    CIPv6LoopbackOrigin& operator=(const CIPv6LoopbackOrigin&) = delete;

    WORD Port() const { return m_nPort; }
    std::vector<std::string> Heads() const;

private:
    void Serve();

    std::string m_answer;
    std::uintptr_t m_sock;
    WORD m_nPort = 0;
    std::atomic<bool> m_bStop{false};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_heads;
    std::thread m_thread;
};
