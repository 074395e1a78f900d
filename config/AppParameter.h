// The one configuration object of the process: the common keys plus the
// recording settings and the program list.
#pragma once

#include "resources/version.h"

#include "config/CommConfig.h"
#include "files/RecordingFormat.h"
#include "programs/ProgramList.h"

class CAppParameter : public CCommConfig {
public:
    CAppParameter();
    ~CAppParameter() override;

    const wchar_t* GetVersion() override { return L"" MARIVANE_VERSION_TEXT; }
    const wchar_t* GetDescription(int language) override;
    const wchar_t* GetMenuId(int language) override;
    const wchar_t* GetHelpUrl(int language) override;
    const wchar_t* GetProductUrl(int language) override;
    const wchar_t* GetResourceId(int id) override;
    void SetupIdentity() override;
    int Initialize() override;
    void ReadKeys(CXml& xml, XmlElement* first) override;
    void WriteKeys(CXml& xml, XmlElement* root) override;

    // Copies a text setting for any thread; the only way a worker thread may
    // read one (a CString frees and re-allocates its buffers, GetWide too).
    void GetSetting(const CString& field, CString& copy);
    // The title a program without one is shown and recorded under.
    static const wchar_t* DefaultTitle(bool japanese) { return japanese ? L"録音" : L"Recording"; }
    // A program's title as shown: its own, or the default when it has none.
    static const wchar_t* ShownTitle(const wchar_t* title, bool japanese)
    {
        return title && *title ? title : DefaultTitle(japanese);
    }
    // The settings' file format, for any thread (single 32-bit fields); WAV
    // without a configuration.
    static RecordingFormat SettingsFileFormat();
    // The folder recordings go to, for any thread: "wavfile_dir", or the
    // user's Music folder when that is empty.
    void GetWavFolder(CString& folder);
    // "cap_device_name" and "cap_device_id" as wide texts of at most size
    // characters with the terminator (empty when unset), for any thread.
    void GetCaptureDevice(wchar_t* name, wchar_t* id, int size);
    // Replaces a text setting (the UI thread, the only writer).
    void SetSetting(CString& field, const wchar_t* text);
    // Remembers the title (as it stands in file names) of a recording made,
    // newest first, for the clean-up of old recordings; true when it was
    // not known before (the caller saves).
    bool AddRecordedTitle(const wchar_t* title);
    // The recorded titles kept: an old title goes when this many are newer.
    static constexpr int kMaxRecordedTitles = 256;
    // Puts a station's address first among those used before (the program
    // window offers them), up to kMaxStationAddresses (UI thread).
    void AddStationAddress(const wchar_t* address);
    static constexpr int kMaxStationAddresses = 10;

    // Written by the UI thread, and read by other threads only through
    // GetSetting, under m_SettingsLock.
    CString m_CapDeviceName;
    CString m_CapDeviceId;
    CString m_WavFileDir;
    // "after_recording_command": run after each recording; empty: none.
    CString m_AfterCommand;
    // "recorded_titles": one a line (see AddRecordedTitle).
    CString m_RecordedTitles;
    // "station_addresses": the stations' addresses used before, one a line, newest first.
    CString m_StationAddresses;
    // Single 32-bit fields: written whole by the UI thread, read by the others.
    int m_Frequency;
    int m_Channels;
    int m_WavMaxSize;
    int m_Shutdown;
    // "sleep_state": what the sleep after recording requests, kHibernate
    // (also for a missing or unknown text) or kSleep.
    enum : int { kHibernate = 0, kSleep = 1 };
    int m_SleepState;
    // "file_format": a FileType (audio/RecordingFormat.h), WAV for a missing
    // or unknown text; "opus_bitrate" in kbit/s, clamped where it is used.
    int m_FileFormat;
    int m_OpusBitrate;
    // "keep_days": recordings older than this many days go to the Recycle Bin; 0 keeps all.
    int m_KeepDays;
    ProgramList m_ProgramList;

private:
    void ReadPrograms(XmlElement* first);
    void WritePrograms(XmlElement* root);
    // A list element after last holding one element a line; returns it.
    static XmlElement* WriteLines(XmlElement* config, XmlElement* last, const wchar_t* list, const wchar_t* name,
                                  const wchar_t* lines);

    wchar_t m_HelpUrl[300];
    // Guards the text settings above. Last in the lock order (save lock, list
    // mutex, settings lock): nothing else is taken while it is held.
    CRITICAL_SECTION m_SettingsLock;
};

extern CAppParameter* g_pConfig;
