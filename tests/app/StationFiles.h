// The test station's log and what a recording of it holds: for the tests
// of the real program and the benchmarks (tests/stream/station.py hands
// over its port and log by the environment).
#pragma once

#include "app/Recorder.h"
#include "frames/FrameSplitter.h"
#include "stream/HlsPlaylist.h"

#include <cmath>
#include <map>
#include <sstream>

struct SentFrame {
    long long index;
    double time;  // when it went out: live, for a frame after the burst
};

// The station's log: each frame by its hash, for a path.
inline std::map<std::string, SentFrame> SentFrames(const std::string& path)
{
    std::map<std::string, SentFrame> sent;
    std::istringstream lines(ReadBytes(EnvironmentValue(L"MARIVANE_STATION_LOG")));
    std::string conn, target, index, offset, length, hash;
    double time;
    while (lines >> conn >> target >> index >> offset >> length >> hash >> time)
        if (target.rfind(path, 0) == 0 && index != "header")
            sent.emplace(hash, SentFrame{std::stoll(index), time});
    return sent;
}

inline std::wstring Station(const std::wstring& path)
{
    return L"http://127.0.0.1:" + EnvironmentValue(L"MARIVANE_STATION_PORT") + path;
}

inline double UnixTime(const CDateTime& local)
{
    return static_cast<double>(UtcTicksOf(local) - 116444736000000000LL) / 1e7;
}

struct Recorded {
    std::vector<SentFrame> frames;  // the station's, in the file's order
    size_t unknown = 0;             // frames the station never sent
    unsigned info = 0;              // the MP3 Info frame's count
    double seconds = 0;
};

inline Recorded ReadStreamFile(const std::wstring& file, StreamKind kind, const std::map<std::string, SentFrame>& sent)
{
    Recorded r;
    std::string bytes = ReadBytes(file);
    size_t tag = StreamSniff::Id3Size(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    CFrameSplitter splitter(kind);
    splitter.Feed(bytes.data() + tag, bytes.size() - tag);
    bool first = true;
    for (StreamFrame f; splitter.Next(f, true); first = false) {
        std::string frame(reinterpret_cast<const char*>(f.data), f.bytes);
        if (first && kind == kKindMp3 && frame.find("Info") != std::string::npos) {
            size_t at = frame.find("Info") + 8;
            r.info = static_cast<unsigned char>(frame[at]) << 24 | static_cast<unsigned char>(frame[at + 1]) << 16 |
                     static_cast<unsigned char>(frame[at + 2]) << 8 | static_cast<unsigned char>(frame[at + 3]);
            continue;
        }
        auto found = sent.find(Fnv(f.data, f.bytes));
        if (found == sent.end())
            ++r.unknown;
        else
            r.frames.push_back(found->second);
        r.seconds += static_cast<double>(f.samples) / f.rate;
    }
    return r;
}

// A program of the station at path, from start for seconds.
inline ProgramItem* StationProgram(const CDateTime& start, int seconds, const wchar_t* title, const std::wstring& path)
{
    CDateTime stop = start;
    stop.AddTicks(seconds * CDateTime::kSecond);
    ProgramItem* p = Program(start, stop, 0, title);
    p->m_Source.Assign(Station(path).c_str());
    return p;
}

// The HLS station's log (tests/stream/hls_station.py): each AAC frame served
// under a path, by hash; the media loops, so one hash may be on air at several times.
inline std::multimap<std::string, double> HlsServed(const std::string& path)
{
    std::multimap<std::string, double> served;  // hash, on air (Unix seconds)
    std::istringstream lines(ReadBytes(EnvironmentValue(L"MARIVANE_HLS_LOG")));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream in(line);
        std::string conn, kind, target, sequence, index, pdt, bytes, hash;
        if (in >> conn >> kind >> target >> sequence >> index >> pdt >> bytes >> hash && kind == "frame" &&
            target.rfind(path, 0) == 0)
            served.emplace(hash, static_cast<double>(CHlsPlaylist::ParseDateTime(pdt) - 116444736000000000LL) / 1e7);
    }
    return served;
}

// The on-air times of an .aac recording's frames, each the served one
// nearest the one before plus a frame (the first: nearest to start); NaN
// for a frame the station never served.
inline std::vector<double> HlsOnAir(const std::wstring& file, const std::string& path, double start)
{
    std::multimap<std::string, double> served = HlsServed(path);
    std::string bytes = ReadBytes(file);
    CFrameSplitter splitter(kKindAac);
    splitter.Feed(bytes.data(), bytes.size());
    std::vector<double> times;
    for (StreamFrame f; splitter.Next(f, true);) {
        // (start 0: the first served, of the same bytes on air at other times)
        double want = times.empty() ? start : times.back() + 1024.0 / 48000;
        double best = std::nan("");
        auto range = served.equal_range(Fnv(f.data, f.bytes));
        for (auto it = range.first; it != range.second; ++it)
            if (std::isnan(best) || std::fabs(it->second - want) < std::fabs(best - want))
                best = it->second;
        times.push_back(best);
    }
    return times;
}
