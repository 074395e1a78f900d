#include "config/AppParameter.h"
#include "config/UiLanguage.h"
#include "foundation/Folder.h"
#include "foundation/Format.h"
#include "foundation/TextLines.h"
#include "foundation/Trace.h"
#include "resources/resource.h"

#include <cwchar>
#include <new>
#include <string>

CAppParameter* g_pConfig = nullptr;

namespace {

// Elements for text values: an empty text gives an element without text.
XmlElement* TextElement(const wchar_t* name, CString& value)
{
    const wchar_t* text = value.GetWide();
    return CXml::CreateElement(name, (text && *text) ? text : nullptr);
}

XmlElement* IntElement(const wchar_t* name, int value)
{
    wchar_t text[16];
    FormatText(text, 16, L"%d", value);
    return CXml::CreateElement(name, text);
}

XmlElement* LastChild(XmlElement* parent)
{
    XmlElement* last = parent->m_pChild;
    while (last && last->m_pNext)
        last = last->m_pNext;
    return last;
}

struct ProgramWriter {
    XmlElement* programs;
    XmlElement* last;
};

void WriteProgram(const ProgramItem& program, void* context)
{
    ProgramWriter* w = static_cast<ProgramWriter*>(context);
    XmlElement* item = CXml::CreateElement(L"item", nullptr);
    if (!item)
        return;
    w->last = CXml::AppendAfter(w->programs, w->last, item);
    wchar_t start[CDateTime::kTextSize], stop[CDateTime::kTextSize];
    CString title(program.m_Title);
    XmlElement* field = nullptr;
    field = CXml::AppendAfter(item, field, CXml::CreateElement(L"start_time", program.m_StartTime.Format(start)));
    field = CXml::AppendAfter(item, field, CXml::CreateElement(L"stop_time", program.m_StopTime.Format(stop)));
    field = CXml::AppendAfter(item, field, IntElement(L"weekly", static_cast<int>(program.m_Weekly)));
    field = CXml::AppendAfter(item, field, TextElement(L"title", title));
    // Only a program with its own source has the key: files stay as before.
    CString source(program.m_Source);
    if (!source.IsEmpty())
        field = CXml::AppendAfter(item, field, TextElement(L"source", source));
    if (program.m_Variant) {
        wchar_t variant[24];
        FormatText(variant, 24, L"%llu", program.m_Variant);
        CXml::AppendAfter(item, field, CXml::CreateElement(L"variant", variant));
    }
}

// A variant's bandwidth as written; 0 (the best) for none or one that is no number.
unsigned long long ReadVariant(XmlElement* item)
{
    const wchar_t* text = CXml::GetText(CXml::FindChild(item, L"variant"));
    if (!text || !*text)
        return 0;
    wchar_t* end = nullptr;
    unsigned long long variant = wcstoull(text, &end, 10);
    if (*text < L'0' || *text > L'9' || *end) {
        Trace(L"[CAppParameter] a program's variant \"%s\" is no bandwidth: it records the best\n", text);
        return 0;
    }
    return variant;
}

// The texts of a list's elements, one a line.
std::wstring ReadLines(XmlElement* config, const wchar_t* list, const wchar_t* name)
{
    std::wstring lines;
    for (XmlElement* t = CXml::FindChild(CXml::FindChild(config, list), name); t; t = CXml::FindNext(t)) {
        const wchar_t* text = CXml::GetText(t);
        if (text && *text && !wcschr(text, L'\n'))
            lines.append(lines.empty() ? L"" : L"\n").append(text);
    }
    return lines;
}

}  // namespace

CAppParameter::CAppParameter()
    : m_Frequency(44100), m_Channels(2), m_WavMaxSize(100), m_Shutdown(0), m_SleepState(kHibernate),
      m_FileFormat(kFileWav), m_OpusBitrate(RecordingFormat::kDefaultOpusKbps), m_KeepDays(0)
{
    InitializeCriticalSection(&m_SettingsLock);
    m_ProgramList.m_pOwner = this;
    FormatText(m_HelpUrl, 300, L"");
}

CAppParameter::~CAppParameter()
{
    m_ProgramList.Clear();
    DeleteCriticalSection(&m_SettingsLock);
}

void CAppParameter::GetSetting(const CString& field, CString& copy)
{
    EnterCriticalSection(&m_SettingsLock);
    copy.Copy(field);
    LeaveCriticalSection(&m_SettingsLock);
}

void CAppParameter::GetCaptureDevice(wchar_t* name, wchar_t* id, int size)
{
    CString nameCopy, idCopy;
    GetSetting(m_CapDeviceName, nameCopy);
    GetSetting(m_CapDeviceId, idCopy);
    lstrcpynW(name, nameCopy.GetWide() ? nameCopy.GetWide() : L"", size);
    lstrcpynW(id, idCopy.GetWide() ? idCopy.GetWide() : L"", size);
}

void CAppParameter::SetSetting(CString& field, const wchar_t* text)
{
    EnterCriticalSection(&m_SettingsLock);
    field.Assign(text);
    LeaveCriticalSection(&m_SettingsLock);
}

namespace {

// The lines of old with line put first, up to most lines; known tells
// whether it was there before.
std::wstring PutFirst(const wchar_t* old, const wchar_t* line, int most, bool& known)
{
    std::wstring list = line;
    size_t size = wcslen(line);
    int kept = 1;
    known = false;
    ForEachLine(old, [&](const wchar_t* other, size_t length) {
        if (kept >= most)
            return;
        if (length == size && wcsncmp(other, line, length) == 0) {
            known = true;
        } else if (length) {
            list.append(L"\n").append(other, length);
            ++kept;
        }
    });
    return list;
}

}  // namespace

bool CAppParameter::AddRecordedTitle(const wchar_t* title)
{
    if (!title || !*title || wcschr(title, L'\n'))
        return false;
    CString old;
    GetSetting(m_RecordedTitles, old);
    bool known = false;
    std::wstring list = PutFirst(old.GetWide(), title, kMaxRecordedTitles, known);
    SetSetting(m_RecordedTitles, list.c_str());
    return !known;
}

void CAppParameter::AddStationAddress(const wchar_t* address)
{
    if (!address || !*address || wcschr(address, L'\n') || wcschr(address, L'\r'))
        return;
    CString old;
    GetSetting(m_StationAddresses, old);
    bool known = false;
    std::wstring list = PutFirst(old.GetWide(), address, kMaxStationAddresses, known);
    SetSetting(m_StationAddresses, list.c_str());
}

const wchar_t* CAppParameter::GetDescription(int language)
{
    return language == 1 ? L"予約録音アプリ" : L"Scheduled Recording Application";
}

const wchar_t* CAppParameter::GetMenuId(int language)
{
    return GetResourceId(language == 1 ? IDM_TRAY_JA : IDM_TRAY_EN);
}

const wchar_t* CAppParameter::GetHelpUrl(int language)
{
    // The help pages ship beside the executable, so help works offline.
    const wchar_t* folder = m_AppPath.GetWide();
    FormatText(m_HelpUrl, 300, L"%s\\help\\%s", folder ? folder : L".",
               language == 1 ? L"index-ja.html" : L"index-en.html");
    return m_HelpUrl;
}

const wchar_t* CAppParameter::GetProductUrl(int language)
{
    return GetHelpUrl(language);
}

const wchar_t* CAppParameter::GetResourceId(int id)
{
    if (id >= 10011 && id <= 10016)
        return MAKEINTRESOURCEW(id);
    return nullptr;
}

void CAppParameter::SetupIdentity()
{
    m_MainWndClass.Assign(L"MARIVANE MAIN WINDOW");
    m_ChildWndClass.Assign(L"MARIVANE CHILD WINDOW");
    m_ControlItemWndClass.Assign(L"MARIVANE CONTROL ITEM WINDOW");
    m_MdiClientWndClass.Assign(L"MARIVANE MDI CLIENT WINDOW");
    ResolveIniFile();
}

int CAppParameter::Initialize()
{
    SetupIdentity();
    return Load();
}

void CAppParameter::ReadKeys(CXml& xml, XmlElement* first)
{
    CCommConfig::ReadKeys(xml, first);
    if (XmlElement* config = CXml::FindSibling(first, L"config")) {
        m_CapDeviceName.Assign(CXml::GetText(CXml::FindChild(config, L"cap_device_name")));
        m_CapDeviceId.Assign(CXml::GetText(CXml::FindChild(config, L"cap_device_id")));
        m_Frequency = CXml::GetInt(CXml::FindChild(config, L"frequency"), 48000);
        m_Channels = CXml::GetInt(CXml::FindChild(config, L"channels"), 2);
        m_WavFileDir.Assign(CXml::GetText(CXml::FindChild(config, L"wavfile_dir")));
        m_Shutdown = CXml::GetInt(CXml::FindChild(config, L"shutdown"), 0) ? 1 : 0;
        const wchar_t* state = CXml::GetText(CXml::FindChild(config, L"sleep_state"));
        m_SleepState = state && lstrcmpiW(state, L"sleep") == 0 ? kSleep : kHibernate;
        m_WavMaxSize = CXml::GetInt(CXml::FindChild(config, L"wav_max_size"), 100);
        m_FileFormat = RecordingFormat::Parse(CXml::GetText(CXml::FindChild(config, L"file_format")));
        m_OpusBitrate = CXml::GetInt(CXml::FindChild(config, L"opus_bitrate"), RecordingFormat::kDefaultOpusKbps);
        m_KeepDays = CXml::GetInt(CXml::FindChild(config, L"keep_days"), 0);
        m_AfterCommand.Assign(CXml::GetText(CXml::FindChild(config, L"after_recording_command")));
        m_RecordedTitles.Assign(ReadLines(config, L"recorded_titles", L"title").c_str());
        m_StationAddresses.Assign(ReadLines(config, L"station_addresses", L"address").c_str());
    }
    m_ProgramList.RemoveAll();
    ReadPrograms(first);
}

void CAppParameter::ReadPrograms(XmlElement* first)
{
    XmlElement* programs = CXml::FindSibling(first, L"programs");
    for (XmlElement* item = CXml::FindChild(programs, L"item"); item; item = CXml::FindNext(item)) {
        CString start(CXml::GetText(CXml::FindChild(item, L"start_time")));
        CString stop(CXml::GetText(CXml::FindChild(item, L"stop_time")));
        CString title(CXml::GetText(CXml::FindChild(item, L"title")));
        if (start.IsEmpty() || stop.IsEmpty())
            continue;
        // Hand-edited and older files may hold a program without a title: it
        // is kept under a visible one, so its file names stay valid.
        if (title.IsBlank())
            title.Assign(DefaultTitle(m_Language == 1));
        ProgramItem* program = new (std::nothrow) ProgramItem();
        if (!program)
            continue;
        program->m_StartTime.Parse(start.GetWide());
        program->m_StopTime.Parse(stop.GetWide());
        program->m_Weekly = static_cast<unsigned>(CXml::GetInt(CXml::FindChild(item, L"weekly"), 0));
        program->m_Title.Copy(title);
        // Kept as written, understood or not: the list tells one it cannot use.
        program->m_Source.Assign(CXml::GetText(CXml::FindChild(item, L"source")));
        program->m_Variant = ReadVariant(item);
        m_ProgramList.Insert(program);
    }
}

bool UiIsJapanese()
{
    return g_pConfig && g_pConfig->m_UiLanguage == 1;
}

RecordingFormat CAppParameter::SettingsFileFormat()
{
    if (!g_pConfig)
        return RecordingFormat();
    int type = g_pConfig->m_FileFormat;
    return RecordingFormat(type >= 0 && type < RecordingFormat::kTypeCount ? static_cast<FileType>(type) : kFileWav,
                           g_pConfig->m_OpusBitrate);
}

void CAppParameter::GetWavFolder(CString& folder)
{
    GetSetting(m_WavFileDir, folder);
    if (!folder.IsBlank())
        return;
    // An empty folder once meant the root of the current drive, where the
    // file usually cannot be made and the recording was lost.
    wchar_t music[MAX_PATH];
    if (GetMusicFolder(music))
        folder.Assign(music);
}

void CAppParameter::WriteKeys(CXml& xml, XmlElement* root)
{
    CCommConfig::WriteKeys(xml, root);
    XmlElement* config = CXml::FindChild(root, L"config");
    if (!config) {
        config = CXml::CreateElement(L"config", nullptr);
        CXml::AppendChild(root, config);
    }
    if (config) {
        // Saves run on the scheduler thread too: the texts are read as copies.
        CString deviceName, deviceId, wavDir, command, recorded, stations;
        GetSetting(m_CapDeviceName, deviceName);
        GetSetting(m_CapDeviceId, deviceId);
        GetSetting(m_WavFileDir, wavDir);
        GetSetting(m_AfterCommand, command);
        GetSetting(m_RecordedTitles, recorded);
        GetSetting(m_StationAddresses, stations);
        XmlElement* last = LastChild(config);
        last = CXml::AppendAfter(config, last, TextElement(L"cap_device_name", deviceName));
        last = CXml::AppendAfter(config, last, TextElement(L"cap_device_id", deviceId));
        last = CXml::AppendAfter(config, last, IntElement(L"frequency", m_Frequency));
        last = CXml::AppendAfter(config, last, IntElement(L"channels", m_Channels));
        last = CXml::AppendAfter(config, last, TextElement(L"wavfile_dir", wavDir));
        last = CXml::AppendAfter(config, last, IntElement(L"shutdown", m_Shutdown ? 1 : 0));
        last = CXml::AppendAfter(config, last,
                                 CXml::CreateElement(L"sleep_state", m_SleepState == kSleep ? L"sleep" : L"hibernate"));
        last = CXml::AppendAfter(config, last, IntElement(L"wav_max_size", m_WavMaxSize));
        last = CXml::AppendAfter(config, last,
                                 CXml::CreateElement(L"file_format", RecordingFormat::Name(static_cast<FileType>(m_FileFormat))));
        last = CXml::AppendAfter(config, last, IntElement(L"opus_bitrate", m_OpusBitrate));
        last = CXml::AppendAfter(config, last, IntElement(L"keep_days", m_KeepDays));
        last = CXml::AppendAfter(config, last, TextElement(L"after_recording_command", command));
        last = WriteLines(config, last, L"recorded_titles", L"title", recorded.GetWide());
        // Only once a station was used: files stay as before.
        if (!stations.IsEmpty())
            WriteLines(config, last, L"station_addresses", L"address", stations.GetWide());
    }
    WritePrograms(root);
}

XmlElement* CAppParameter::WriteLines(XmlElement* config, XmlElement* last, const wchar_t* list, const wchar_t* name,
                                      const wchar_t* lines)
{
    XmlElement* group = CXml::CreateElement(list, nullptr);
    if (!group)
        return last;
    CXml::AppendAfter(config, last, group);
    XmlElement* previous = nullptr;
    ForEachLine(lines, [&](const wchar_t* line, size_t length) {
        CString text;
        text.Assign(line, static_cast<int>(length));
        previous = CXml::AppendAfter(group, previous, TextElement(name, text));
    });
    return group;
}

void CAppParameter::WritePrograms(XmlElement* root)
{
    XmlElement* programs = CXml::FindChild(root, L"programs");
    if (!programs) {
        programs = CXml::CreateElement(L"programs", nullptr);
        if (!programs)
            return;
        CXml::AppendChild(root, programs);
    }
    ProgramWriter writer = {programs, LastChild(programs)};
    m_ProgramList.ForEach(WriteProgram, &writer);
}
