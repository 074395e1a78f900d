// Helpers of the recording tests: counting ramps and WAV files
// read back from disk.
#pragma once

#include <windows.h>
#include <mmreg.h>
#include <string>
#include <vector>

// Frame n of a ramp carries n: mono as n & 0xFFFF, stereo as the low and
// high 16 bits of n in the two channels.
std::string Ramp(unsigned firstFrame, unsigned frames, int channels);

struct WavFields {
    bool valid = false;
    unsigned riffSize = 0, channels = 0, rate = 0, avgBytes = 0, align = 0;
    unsigned factFrames = 0, dataSize = 0;
    std::string data;  // everything after the 56-byte header
};
WavFields ReadWav(const std::wstring& path);
// prefix_000.wav (or another extension) and on: the name of a recording's file n.
std::wstring WavName(const std::wstring& prefix, unsigned n, const wchar_t* extension = L"wav");

// The frame numbers of this PCM ramp (mono gives them modulo 65536; a
// trailing part frame is ignored), with the number of places where one
// frame does not follow the one before and the first of them.
std::vector<unsigned> RampFrames(const std::string& pcm, int channels, size_t* breaks, size_t* first);
// The same, with a failure naming what at a break.
std::vector<unsigned> CheckRamp(const std::string& pcm, int channels, const std::string& what);

// The largest magnitude of 16-bit PCM.
int Peak(const std::string& pcm);

// The "Scrambled" microphone's right channel for a left channel of n
// (tests/support/mic-feeder.py has its twin): frames no encoder can pack.
unsigned Scramble(unsigned n);
// Frames of a recording of it: the left channels must count on by one
// (modulo 65536) and each right channel be the left's scramble; where not,
// a failure naming what.
size_t CheckScrambled(const std::string& pcm, const std::string& what);

// The numbered files prefix_000.wav, _001.wav ... of one recording, each
// checked for true headers in the given format (whole frames; past the size
// the header gives, at most unheadered bytes, as a killed recording leaves)
// and, with maxData, for its split (every file but the last holds at least
// maxData, less than one buffer more).
struct RecordedFiles {
    unsigned files = 0;
    std::string pcm;  // the data of all files in order
};
RecordedFiles ReadRecording(const std::wstring& prefixPath, unsigned rate, unsigned channels, unsigned maxData = 0,
                            unsigned unheadered = 0);
