#include "stream/WinHttpTransport.h"

#include "foundation/Trace.h"

#include <string>

namespace {

const wchar_t kAgent[] = L"Marivane";

}  // namespace

bool CWinHttpTransport::s_bRefuseIcy = false;

CWinHttpTransport::CWinHttpTransport() : m_hSession(nullptr), m_hConnect(nullptr), m_hRequest(nullptr), m_Aborted(0), m_StallMs(0)
{
    InitializeCriticalSection(&m_Lock);
}

CWinHttpTransport::~CWinHttpTransport()
{
    CloseHandles();
    DeleteCriticalSection(&m_Lock);
}

void CWinHttpTransport::CloseHandles()
{
    EnterCriticalSection(&m_Lock);
    for (HINTERNET* handle : {&m_hRequest, &m_hConnect, &m_hSession}) {
        if (*handle)
            WinHttpCloseHandle(*handle);
        *handle = nullptr;
    }
    LeaveCriticalSection(&m_Lock);
}

void CWinHttpTransport::Abort()
{
    InterlockedExchange(&m_Aborted, 1);
    // Closing the handles makes a call waiting on them return.
    CloseHandles();
}

StationFailure CWinHttpTransport::FailureOf(DWORD error)
{
    switch (error) {
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
        return kFailName;
    case ERROR_WINHTTP_CANNOT_CONNECT:
        return kFailConnect;
    case ERROR_WINHTTP_TIMEOUT:
        return kFailTimeout;
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
    case ERROR_WINHTTP_HEADER_NOT_FOUND:
        return kFailBadAnswer;
    case ERROR_WINHTTP_REDIRECT_FAILED:
        return kFailInsecureRedirect;
    case ERROR_WINHTTP_OPERATION_CANCELLED:
        return kFailCancelled;
    case ERROR_WINHTTP_SECURE_FAILURE:
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
    case ERROR_WINHTTP_SECURE_INVALID_CA:
    case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
    case ERROR_WINHTTP_SECURE_INVALID_CERT:
    case ERROR_WINHTTP_SECURE_CERT_REVOKED:
    case ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED:
        return kFailCertificate;
    default:
        return kFailReset;
    }
}

StationFailure CWinHttpTransport::Connect(const StationAddress& address, DWORD timeoutMs, DWORD stallMs,
                                          StationAnswer& answer)
{
    CloseHandles();
    answer = StationAnswer();
    m_Url = address.Text();
    m_Redirect.clear();
    HINTERNET session = WinHttpOpen(kAgent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0);
    // Before Windows 8.1 the automatic type is unknown; the default proxy is the next best.
    if (!session)
        session = WinHttpOpen(kAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                              WINHTTP_NO_PROXY_BYPASS, 0);
    if (!session) {
        Trace(L"[CWinHttpTransport] WinHttpOpen failed: %lu\n", GetLastError());
        return kFailConnect;
    }
    EnterCriticalSection(&m_Lock);
    m_hSession = session;
    bool aborted = m_Aborted != 0;
    LeaveCriticalSection(&m_Lock);
    if (aborted)
        return kFailCancelled;
    // A finite wait for the name too: after a wake the resolver may hang.
    int wait = static_cast<int>(timeoutMs), stall = static_cast<int>(stallMs);
    m_StallMs = stallMs;
    WinHttpSetTimeouts(session, wait, wait, wait, stall);
    DWORD policy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
    WinHttpSetOption(session, WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof(policy));
    HINTERNET connect = WinHttpConnect(session, address.host.c_str(), address.port, 0);
    HINTERNET request = connect ? WinHttpOpenRequest(connect, L"GET", address.path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                                     WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                     address.secure ? WINHTTP_FLAG_SECURE : 0)
                                : nullptr;
    EnterCriticalSection(&m_Lock);
    m_hConnect = connect;
    m_hRequest = request;
    LeaveCriticalSection(&m_Lock);
    if (!request)
        return m_Aborted ? kFailCancelled : FailureOf(GetLastError());
    WinHttpSetTimeouts(request, wait, wait, wait, stall);
    // Where a redirect leads, for the addresses in a playlist found there.
    CWinHttpTransport* self = this;
    WinHttpSetOption(request, WINHTTP_OPTION_CONTEXT_VALUE, &self, sizeof(self));
    WinHttpSetStatusCallback(request, Redirected, WINHTTP_CALLBACK_FLAG_REDIRECT, 0);
    if (!WinHttpSendRequest(request, L"Icy-MetaData: 1\r\n", static_cast<DWORD>(-1), WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(request, nullptr)) {
        DWORD error = GetLastError();
        Trace(L"[CWinHttpTransport] %s: no answer (%lu)\n", m_Url.c_str(), error);
        return m_Aborted ? kFailCancelled : FailureOf(error);
    }
    DWORD status = 0, size = sizeof(status);
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                             &status, &size, WINHTTP_NO_HEADER_INDEX))
        return kFailBadAnswer;
    answer.status = status;
    if (s_bRefuseIcy) {
        wchar_t version[32] = L"";
        DWORD bytes = sizeof(version);
        WinHttpQueryHeaders(request, WINHTTP_QUERY_VERSION, WINHTTP_HEADER_NAME_BY_INDEX, version, &bytes,
                            WINHTTP_NO_HEADER_INDEX);
        Trace(L"[CWinHttpTransport] the answer's version: %s\n", version);
        if (wcsncmp(version, L"HTTP/", 5) != 0)
            return kFailBadAnswer;
    }
    for (const char* name : {"icy-metaint", "icy-br", "icy-name", "Content-Type"}) {
        std::wstring wide(name, name + strlen(name));
        std::wstring value = Header(wide.c_str());
        // WinHTTP widens a header's bytes one to one; narrowed back, icy-name
        // is read as a StreamTitle is (UTF-8, the ANSI code page, Latin-1).
        std::string narrow;
        bool bytes = true;
        for (wchar_t c : value)
            bytes = bytes && c <= 0xFF;
        if (bytes) {
            for (wchar_t c : value)
                narrow += static_cast<char>(c);
        } else {
            int n = WideCharToMultiByte(CP_UTF8, 0, value.c_str(), static_cast<int>(value.size()), nullptr, 0, nullptr,
                                        nullptr);
            narrow.assign(static_cast<size_t>(n > 0 ? n : 0), '\0');
            if (n > 0)
                WideCharToMultiByte(CP_UTF8, 0, value.c_str(), static_cast<int>(value.size()), &narrow[0], n, nullptr,
                                    nullptr);
        }
        if (!value.empty())
            answer.Take(name, narrow);
    }
    DWORD chars = 0;
    WinHttpQueryOption(request, WINHTTP_OPTION_URL, nullptr, &chars);
    if (chars > 0 && m_Redirect.empty()) {
        std::wstring url(chars / sizeof(wchar_t) + 1, L'\0');
        DWORD bytes = static_cast<DWORD>(url.size() * sizeof(wchar_t));
        if (WinHttpQueryOption(request, WINHTTP_OPTION_URL, &url[0], &bytes))
            m_Url = url.c_str();
    }
    if (!m_Redirect.empty())
        m_Url = m_Redirect;
    return kFailNone;
}

void CALLBACK CWinHttpTransport::Redirected(HINTERNET, DWORD_PTR context, DWORD status, void* information, DWORD)
{
    auto* self = reinterpret_cast<CWinHttpTransport*>(context);
    if (self && status == WINHTTP_CALLBACK_STATUS_REDIRECT && information)
        self->m_Redirect = StationAddress::Resolve(self->m_Redirect.empty() ? self->m_Url : self->m_Redirect,
                                                   static_cast<const wchar_t*>(information));
}

std::wstring CWinHttpTransport::Header(const wchar_t* name) const
{
    DWORD size = 0;
    WinHttpQueryHeaders(m_hRequest, WINHTTP_QUERY_CUSTOM, name, WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0)
        return std::wstring();
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    if (!WinHttpQueryHeaders(m_hRequest, WINHTTP_QUERY_CUSTOM, name, &value[0], &size, WINHTTP_NO_HEADER_INDEX))
        return std::wstring();
    return value.c_str();
}

StationFailure CWinHttpTransport::Receive(unsigned char* buffer, size_t size, size_t& got)
{
    got = 0;
    HINTERNET request = m_hRequest;  // only Abort changes it meanwhile
    if (!request || m_Aborted)
        return kFailCancelled;
    // Waits for some bytes, however few, where a read could wait to fill the buffer.
    DWORD available = 0, start = GetTickCount();
    if (!WinHttpQueryDataAvailable(request, &available)) {
        DWORD error = GetLastError();
        if (m_Aborted)
            return kFailCancelled;
        // Windows says ERROR_WINHTTP_TIMEOUT; Wine 8 a connection error.
        bool waited = GetTickCount() - start + 100 >= m_StallMs;
        Trace(L"[CWinHttpTransport] %s: no bytes (%lu) after %lu ms\n", m_Url.c_str(), error, GetTickCount() - start);
        return error == ERROR_WINHTTP_TIMEOUT || waited ? kFailStalled : FailureOf(error);
    }
    if (available == 0)
        return kFailEnded;
    DWORD want = available < size ? available : static_cast<DWORD>(size > 0x100000 ? 0x100000 : size), read = 0;
    if (!WinHttpReadData(request, buffer, want, &read)) {
        DWORD error = GetLastError();
        if (m_Aborted)
            return kFailCancelled;
        return error == ERROR_WINHTTP_TIMEOUT ? kFailStalled : FailureOf(error);
    }
    if (read == 0)
        return kFailEnded;
    got = read;
    return kFailNone;
}
