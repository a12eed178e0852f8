// CLoopbackHttpServer over the loopback TCP peer.
#include "support/loopback_http_server.h"

#include <cstdio>
#include <cstdlib>

namespace {

const char* Reason(int status)
{
    switch (status) {
    case 200: return "OK";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

// The path of a request line, also when a proxy sent the absolute form.
std::string PathOf(const std::string& head)
{
    size_t sp1 = head.find(' ');
    if (sp1 == std::string::npos) return std::string();
    size_t sp2 = head.find(' ', sp1 + 1);
    std::string target = head.substr(sp1 + 1, sp2 == std::string::npos ? std::string::npos : sp2 - sp1 - 1);
    if (target.compare(0, 7, "http://") == 0) {
        size_t slash = target.find('/', 7);
        target = slash == std::string::npos ? "/" : target.substr(slash);
    }
    return target;
}

size_t ContentLength(const std::string& head)
{
    size_t at = head.find("Content-Length: ");
    return at == std::string::npos ? 0 : std::strtoul(head.c_str() + at + 16, nullptr, 10);
}

} // namespace

CLoopbackHttpServer::CLoopbackHttpServer(int nPort)
    : m_server([this](SOCKET_HANDLE s) { Serve(s); }, static_cast<WORD>(nPort))
{
}

std::string CLoopbackHttpServer::HostPort() const
{
    return "127.0.0.1:" + std::to_string(Port());
}

void CLoopbackHttpServer::SetAnswer(const std::string& path, int status, const std::string& body)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_answers[path] = Answer{status, body, false};
}

void CLoopbackHttpServer::SetRawAnswer(const std::string& path, const std::string& answer)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_answers[path] = Answer{0, answer, true};
}

void CLoopbackHttpServer::SetRawAnswerForAll(const std::string& answer)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bAnswerAll = true;
    m_answerAll = answer;
}

std::vector<std::string> CLoopbackHttpServer::Requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

std::vector<std::string> CLoopbackHttpServer::Bodies() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bodies;
}

std::vector<std::string> CLoopbackHttpServer::RequestLines() const
{
    std::vector<std::string> lines;
    for (const std::string& head : Requests()) lines.push_back(head.substr(0, head.find("\r\n")));
    return lines;
}

int CLoopbackHttpServer::CountRequests(const std::string& path) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    int n = 0;
    for (const std::string& head : m_requests)
        if (PathOf(head) == path) ++n;
    return n;
}

void CLoopbackHttpServer::Serve(SOCKET_HANDLE s)
{
    std::string body;
    std::string head = TestRecvHead(s, &body);
    if (head.empty()) return;
    size_t nBody = ContentLength(head);
    if (body.size() < nBody) body += TestRecvCount(s, nBody - body.size());

    Answer answer{404, "Not Found\n", false};
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests.push_back(head);
        m_bodies.push_back(body);
        auto it = m_answers.find(PathOf(head));
        if (it != m_answers.end())
            answer = it->second;
        else if (m_bAnswerAll)
            answer = Answer{0, m_answerAll, true};
    }
    std::string out;
    if (answer.raw) {
        out = answer.body;
        size_t mark = out.find("$PATH");
        if (mark != std::string::npos) out.replace(mark, 5, head.substr(0, head.find("\r\n")));
    } else {
        char status[160];
        std::snprintf(status, sizeof status,
                      "HTTP/1.1 %d %s\r\nContent-Type: text/plain\r\nContent-Length: %u\r\nConnection: close\r\n\r\n",
                      answer.status, Reason(answer.status), static_cast<unsigned>(answer.body.size()));
        out = std::string(status) + answer.body;
    }
    TestSend(s, out);
}
