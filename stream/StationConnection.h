// A station's stream as the recorder reads it: Open the address as typed
// (a stream, or a .pls / .m3u playlist that leads to one, through
// redirects), then Read the audio bytes with the ICY metadata taken out and
// the titles that came with them, until a drop; Close. Each Open starts
// again from the typed address, since redirect targets and their tokens
// expire. One thread owns the object; only Abort may be called from another.
//
//   CStationConnection c;
//   if (!c.Open(address)) -> c.Failure(), c.Reason(japanese), Temporary()
//   c.Info(): kind (MP3, AAC, Ogg), icy-name, icy-br, the address it came from
//   while (c.Read(buffer, size, got, titles)) ... bytes exactly as sent
//   c.Failure(): kFailEnded or kFailStalled (a drop), kFailReset...
#pragma once

#include "frames/StreamSniff.h"
#include "stream/IcyMetadata.h"
#include "stream/StationAnswer.h"
#include "stream/StationFailure.h"
#include "stream/StationLine.h"

#include <windows.h>
#include <memory>
#include <string>
#include <vector>

struct StationInfo {
    std::wstring address;  // where the audio comes from, after playlists and redirects
    StreamKind kind = kKindUnknown;
    StationAnswer answer;  // status, icy-metaint, icy-name, icy-br, Content-Type
    bool socketPath = false;  // read over the socket of its own (an ICY server)
};

class CStationConnection {
public:
    // No bytes for this long is a drop.
    static constexpr DWORD kStallMs = 10000;
    // Connecting, and each answer's headers, within this.
    static constexpr DWORD kConnectMs = 10000;
    // Redirects and playlists on the way to a stream.
    static constexpr int kMaxHops = 5;
    // Bytes read at most to tell the kind of stream.
    static constexpr size_t kMaxSniff = 1 << 20;

    // Seams for the tests: plain http:// always over the socket (Wine's
    // WinHTTP accepts "ICY 200 OK", so it never falls back), and a shorter
    // stall. Set before any connection exists.
    static bool s_bSocketAlways;
    static DWORD s_StallMs;

    CStationConnection();
    ~CStationConnection();
    CStationConnection(const CStationConnection&) = delete;
    CStationConnection& operator=(const CStationConnection&) = delete;

    // Connects and reads until the kind of stream is known. connectMs
    // bounds each connection's wait.
    bool Open(const wchar_t* address, DWORD connectMs = kConnectMs);
    const StationInfo& Info() const { return m_Info; }
    // Waits for audio: true with got > 0 bytes in buffer; titles receives
    // the StreamTitle changes so far, each at its offset in the audio bytes
    // this connection handed out. False on a drop or an abort (Failure()).
    bool Read(unsigned char* buffer, size_t size, size_t& got, std::vector<StationTitle>& titles);
    void Close();
    // From any thread: a waiting Open or Read returns soon with kFailCancelled.
    void Abort();

    StationFailure Failure() const { return m_Failure; }
    unsigned Status() const { return m_Info.answer.status; }
    bool Temporary() const { return StationFailureTemporary(m_Failure); }
    std::wstring Reason(bool japanese) const { return StationFailureText(m_Failure, Status(), japanese); }
    unsigned long long AudioBytes() const { return m_Delivered; }

private:
    bool Fail(StationFailure failure);
    // Open's way to a stream, through redirects and playlists.
    bool Reach(const wchar_t* address, DWORD connectMs);
    bool Connect(const std::wstring& address, DWORD connectMs);
    // Reads into m_Pending (metadata taken out) until it holds more than have.
    StationFailure More(size_t have);

    CStationLine m_Line;
    StationInfo m_Info;
    StationFailure m_Failure;
    CIcyMetadata m_Metadata;
    std::vector<StationTitle> m_Titles;   // not yet handed out
    std::vector<unsigned char> m_Pending;  // audio read while opening, not yet handed out
    size_t m_PendingAt;
    unsigned long long m_Delivered;
};
