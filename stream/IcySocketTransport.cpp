#include "stream/IcySocketTransport.h"

#include "foundation/Trace.h"

#include <ws2tcpip.h>

namespace {

std::string Utf8(const std::wstring& text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &narrow[0], n, nullptr, nullptr);
    return narrow;
}

}  // namespace

CIcySocketTransport::CIcySocketTransport() : m_bStarted(false), m_Socket(INVALID_SOCKET), m_Aborted(0), m_StallMs(10000)
{
    WSADATA data;
    m_bStarted = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

CIcySocketTransport::~CIcySocketTransport()
{
    CloseSocket();
    if (m_bStarted)
        WSACleanup();
}

void CIcySocketTransport::CloseSocket()
{
    if (m_Socket != INVALID_SOCKET)
        closesocket(m_Socket);
    m_Socket = INVALID_SOCKET;
}

void CIcySocketTransport::Abort()
{
    // Wait sees it within its step; the socket stays its owner's to close.
    InterlockedExchange(&m_Aborted, 1);
}

int CIcySocketTransport::Wait(DWORD ms, bool write)
{
    // In steps, so an abort before the socket existed is seen too.
    for (DWORD start = GetTickCount();;) {
        if (m_Aborted)
            return -1;
        DWORD passed = GetTickCount() - start;
        if (passed >= ms)
            return 0;
        DWORD step = ms - passed < 250 ? ms - passed : 250;
        fd_set set, failed;
        FD_ZERO(&set);
        FD_ZERO(&failed);
        FD_SET(m_Socket, &set);
        FD_SET(m_Socket, &failed);
        timeval tv = {static_cast<long>(step / 1000), static_cast<long>(step % 1000 * 1000)};
        int n = select(0, write ? nullptr : &set, write ? &set : nullptr, &failed, &tv);
        if (n < 0 || FD_ISSET(m_Socket, &failed))
            return -1;
        if (n > 0)
            return 1;
    }
}

StationFailure CIcySocketTransport::Connect(const StationAddress& address, DWORD timeoutMs, DWORD stallMs,
                                            StationAnswer& answer)
{
    CloseSocket();
    answer = StationAnswer();
    m_Body.clear();
    m_Url = address.Text();
    m_StallMs = stallMs;
    if (!m_bStarted || address.secure)
        return kFailConnect;
    ADDRINFOW hints = {}, *found = nullptr;
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    std::wstring port = std::to_wstring(address.port);
    if (GetAddrInfoW(address.host.c_str(), port.c_str(), &hints, &found) != 0 || !found)
        return kFailName;
    StationFailure failure = kFailConnect;
    for (ADDRINFOW* a = found; a && m_Socket == INVALID_SOCKET; a = a->ai_next) {
        SOCKET s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (s == INVALID_SOCKET)
            continue;
        u_long nonBlocking = 1;
        ioctlsocket(s, FIONBIO, &nonBlocking);
        m_Socket = s;
        if (connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0 && WSAGetLastError() != WSAEWOULDBLOCK) {
            CloseSocket();
            continue;
        }
        int ready = Wait(timeoutMs, true);
        int error = 0, length = sizeof(error);
        getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
        if (ready != 1 || error != 0) {
            failure = m_Aborted ? kFailCancelled : ready == 0 ? kFailTimeout : kFailConnect;
            CloseSocket();
        }
    }
    FreeAddrInfoW(found);
    if (m_Socket == INVALID_SOCKET)
        return failure;
    std::string host = Utf8(address.host);
    if (address.port != 80)
        host += ":" + std::to_string(address.port);
    std::string request = "GET " + Utf8(address.path) + " HTTP/1.0\r\nHost: " + host +
                          "\r\nUser-Agent: Marivane\r\nAccept: */*\r\nIcy-MetaData: 1\r\nConnection: close\r\n\r\n";
    for (size_t sent = 0; sent < request.size();) {
        if (Wait(timeoutMs, true) != 1)
            return m_Aborted ? kFailCancelled : kFailTimeout;
        int n = send(m_Socket, request.data() + sent, static_cast<int>(request.size() - sent), 0);
        if (n <= 0)
            return kFailReset;
        sent += static_cast<size_t>(n);
    }
    std::string head;
    for (;;) {
        size_t end = head.find("\r\n\r\n"), endBare = head.find("\n\n");
        size_t stop = end != std::string::npos ? end + 4 : endBare != std::string::npos ? endBare + 2 : std::string::npos;
        if (stop != std::string::npos) {
            m_Body = head.substr(stop);
            head.erase(stop);
            break;
        }
        if (head.size() > kMaxHeader)
            return kFailBadAnswer;
        int ready = Wait(timeoutMs, false);
        if (ready != 1)
            return m_Aborted ? kFailCancelled : ready == 0 ? kFailTimeout : kFailReset;
        char piece[4096];
        int n = recv(m_Socket, piece, sizeof(piece), 0);
        if (n <= 0)
            return head.empty() ? kFailReset : kFailBadAnswer;
        head.append(piece, static_cast<size_t>(n));
    }
    if (!answer.Parse(head.data(), head.size())) {
        Trace(L"[CIcySocketTransport] %s: an answer that is no HTTP or ICY\n", m_Url.c_str());
        return kFailBadAnswer;
    }
    return kFailNone;
}

StationFailure CIcySocketTransport::Receive(unsigned char* buffer, size_t size, size_t& got)
{
    got = 0;
    if (m_Aborted)
        return kFailCancelled;
    if (!m_Body.empty()) {
        got = m_Body.size() < size ? m_Body.size() : size;
        memcpy(buffer, m_Body.data(), got);
        m_Body.erase(0, got);
        return kFailNone;
    }
    if (m_Socket == INVALID_SOCKET)
        return kFailReset;
    int ready = Wait(m_StallMs, false);
    if (ready != 1)
        return m_Aborted ? kFailCancelled : ready == 0 ? kFailStalled : kFailReset;
    int n = recv(m_Socket, reinterpret_cast<char*>(buffer), static_cast<int>(size > 0x100000 ? 0x100000 : size), 0);
    if (n == 0)
        return kFailEnded;
    if (n < 0)
        return m_Aborted ? kFailCancelled : WSAGetLastError() == WSAEWOULDBLOCK ? kFailNone : kFailReset;
    got = static_cast<size_t>(n);
    return kFailNone;
}
