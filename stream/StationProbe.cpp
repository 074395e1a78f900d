#include "stream/StationProbe.h"

#include "frames/FrameSplitter.h"
#include "stream/HlsPlaylist.h"
#include "stream/HlsSession.h"
#include "stream/SegmentDemuxer.h"
#include "stream/StationConnection.h"
#include "stream/StationFetch.h"

#include <string>

namespace {

// What the probe's thread and its caller share; the last of the two to
// let go frees it, so a probe stuck in the resolver can be left behind.
struct Probe {
    volatile LONG refs = 2;
    CStationConnection connection;
    CStationFetch fetch;  // an HLS station's playlists and a segment
    std::wstring address;
    unsigned long long variant = 0;
    std::vector<HlsVariant> offered;  // an HLS master's recordable variants
    DWORD timeoutMs = 0;
    bool japanese = false;
    bool ok = false;
    std::wstring text;

    void Release()
    {
        if (InterlockedDecrement(&refs) == 0)
            delete this;
    }
};

std::wstring RateText(unsigned rate)
{
    wchar_t text[32];
    if (rate % 1000 == 0)
        wsprintfW(text, L"%u kHz", rate / 1000);
    else if (rate % 100 == 0)
        wsprintfW(text, L"%u.%u kHz", rate / 1000, rate % 1000 / 100);
    else
        wsprintfW(text, L"%u.%02u kHz", rate / 1000, rate % 1000 / 10);
    return text;
}

std::wstring ChannelsText(unsigned channels, bool japanese)
{
    if (channels == 1)
        return japanese ? L"モノラル" : L"mono";
    if (channels == 2)
        return japanese ? L"ステレオ" : L"stereo";
    return std::to_wstring(channels) + (japanese ? L" チャンネル" : L" channels");
}

// Reads until the first frame that tells the format; false when none came.
bool FirstFrame(CStationConnection& connection, StreamFrame& first)
{
    CFrameSplitter splitter(connection.Info().kind);
    unsigned char buffer[16384];
    std::vector<StationTitle> titles;
    for (size_t total = 0; total < 4 * StreamSniff::kSearchBytes;) {
        size_t got = 0;
        bool more = connection.Read(buffer, sizeof(buffer), got, titles);
        if (more)
            splitter.Feed(buffer, got);
        total += got;
        StreamFrame frame;
        while (splitter.Next(frame, !more)) {
            if (frame.rate && frame.channels) {
                first = frame;
                first.data = nullptr;
                return true;
            }
        }
        if (!more)
            return false;
    }
    return false;
}

// An HLS station: what its newest segment holds, its variants and the one recorded.
void RunHls(Probe& probe)
{
    bool ja = probe.japanese;
    std::string text;
    CHlsPlaylist list;
    StationFailure failure = probe.fetch.Get(probe.address, CHlsPlaylist::kMaxBytes, text);
    if (failure == kFailNone && !list.Parse(text, probe.fetch.Url()))
        failure = kFailUnknownFormat;
    std::wstring variants;
    const HlsVariant* chosen = list.master ? list.Pick(probe.variant) : nullptr;
    for (const HlsVariant& v : list.variants) {
        variants += (variants.empty() ? L"" : ja ? L"、" : L", ") + std::to_wstring(v.bandwidth / 1000);
        if (!v.Recordable())
            variants += ja ? L" (録音不可)" : L" (not recordable)";
        else
            probe.offered.push_back(v);
    }
    if (failure == kFailNone && list.master && !chosen)
        failure = kFailHlsNoVariant;
    unsigned long long bandwidth = chosen ? chosen->bandwidth : 0;
    if (failure == kFailNone && chosen) {
        failure = probe.fetch.Get(chosen->address, CHlsPlaylist::kMaxBytes, text);
        if (failure == kFailNone && !list.Parse(text, probe.fetch.Url()))
            failure = kFailUnknownFormat;
    }
    if (failure == kFailNone && list.encrypted)
        failure = kFailHlsEncrypted;
    if (failure == kFailNone && list.segments.empty())
        failure = kFailUnknownFormat;
    std::string init, bytes;
    if (failure == kFailNone && !list.segments.back().map.empty())
        failure = probe.fetch.Get(list.segments.back().map, CHlsSession::kMaxSegmentBytes, init);
    if (failure == kFailNone)
        failure = probe.fetch.Get(list.segments.back().address, CHlsSession::kMaxSegmentBytes, bytes);
    CSegmentDemuxer demuxer;
    StreamFrame frame;
    double seconds = 0;
    if (failure == kFailNone &&
        (demuxer.Open(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                      init.empty() ? nullptr : reinterpret_cast<const unsigned char*>(init.data()), init.size()) !=
             kSegmentOk ||
         !demuxer.Next(frame, seconds)))
        failure = kFailUnknownFormat;
    if (failure != kFailNone) {
        probe.text = StationFailureText(failure, probe.fetch.Status(), ja);
        return;
    }
    std::wstring answer = std::wstring(L"HLS · ") + StreamSniff::Name(demuxer.Kind());
    if (bandwidth)
        answer += L" · " + std::to_wstring(bandwidth / 1000) + L" kbit/s";
    answer += L" · " + RateText(frame.rate) + L" " + ChannelsText(frame.channels, ja);
    if (!variants.empty())
        answer += (ja ? L" · 種類: " : L" · variants: ") + variants + L" kbit/s";
    probe.text = answer;
    probe.ok = true;
}

void Run(Probe& probe)
{
    CStationConnection& c = probe.connection;
    if (!c.Open(probe.address.c_str(), probe.timeoutMs)) {
        if (c.Failure() == kFailHls)
            return RunHls(probe);
        probe.text = c.Reason(probe.japanese);
        return;
    }
    StreamFrame frame;
    if (!FirstFrame(c, frame)) {
        probe.text = c.Failure() != kFailNone && c.Failure() != kFailEnded ? c.Reason(probe.japanese)
                                                                             : StationFailureText(kFailUnknownFormat, 0, probe.japanese);
        return;
    }
    const StationInfo& info = c.Info();
    std::wstring text = info.kind == kKindOgg ? (frame.codec == kOggOpus ? L"Ogg Opus" : L"Ogg Vorbis")
                                              : StreamSniff::Name(info.kind);
    unsigned bitrate = info.answer.bitrate ? info.answer.bitrate : frame.bitrate;
    if (bitrate)
        text += L" · " + std::to_wstring(bitrate) + L" kbit/s";
    text += L" · " + RateText(frame.rate) + L" " + ChannelsText(frame.channels, probe.japanese);
    if (!info.answer.name.empty())
        text += L" · " + info.answer.name;
    probe.text = text;
    probe.ok = true;
}

DWORD WINAPI ProbeThread(void* parameter)
{
    Probe* probe = static_cast<Probe*>(parameter);
    Run(*probe);
    probe->connection.Close();
    probe->Release();
    return 0;
}

}  // namespace

bool CStationProbe::Describe(const wchar_t* address, bool japanese, wchar_t* text, int count, volatile LONG* cancel,
                             unsigned long long variant, std::vector<HlsVariant>* offered)
{
    Probe* probe = new Probe();
    probe->address = address ? address : L"";
    probe->variant = variant;
    probe->japanese = japanese;
    DWORD start = GetTickCount();
    probe->timeoutMs = kTimeoutMs - 1000;  // the connection's own waits end first
    HANDLE thread = CreateThread(nullptr, 0, ProbeThread, probe, 0, nullptr);
    bool ok = false;
    std::wstring answer;
    if (!thread) {
        probe->refs = 1;
        answer = StationFailureText(kFailConnect, 0, japanese);
    } else {
        bool cancelled = false, late = false;
        while (WaitForSingleObject(thread, 50) == WAIT_TIMEOUT) {
            cancelled = cancel && *cancel;
            late = GetTickCount() - start >= kTimeoutMs;
            if (cancelled || late) {
                // The probe's thread ends on its own, soon or (Wine's WinHTTP,
                // a name resolver) at its own time out; the answer cannot wait.
                probe->connection.Abort();
                probe->fetch.Abort();
                WaitForSingleObject(thread, 250);
                break;
            }
        }
        CloseHandle(thread);
        if (cancelled)
            answer = StationFailureText(kFailCancelled, 0, japanese);
        else if (late)
            answer = StationFailureText(kFailTimeout, 0, japanese);
        else {
            ok = probe->ok;
            answer = probe->text;
            if (offered && ok)
                *offered = probe->offered;
        }
    }
    probe->Release();
    if (text && count > 0)
        lstrcpynW(text, answer.c_str(), count);
    return ok;
}
