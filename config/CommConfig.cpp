#include "config/CommConfig.h"
#include "foundation/File.h"
#include "foundation/FileName.h"
#include "foundation/Format.h"
#include "foundation/Trace.h"

#include <cstring>
#include <cwchar>
#include <new>

namespace {

const ColorPair kDefaultColors[2] = {{0x000000, 0xFFFFFF}, {0xC8C8C8, 0xFFFFFF}};
const ColorName kColorNames[2] = {{L"Text Color (Normal)", L"通常のテキスト表示", 0, 0},
                                  {L"Line Color", L"罫線の色", 1, 1}};

const wchar_t kIniName[] = L"\\marivane.ini";

// folder + "\marivane.ini" in a 260-character buffer: the folder up to 259
// characters, the name only as far as it fits.
void ComposeIniPath(wchar_t (&path)[MAX_PATH], CString& folder)
{
    const wchar_t* f = folder.GetWide();
    size_t n = 0;
    for (; f && f[n] && n < MAX_PATH - 1; ++n)
        path[n] = f[n];
    for (size_t i = 0; kIniName[i] && n < MAX_PATH - 1; ++i, ++n)
        path[n] = kIniName[i];
    path[n] = 0;
}

void AppendText(XmlElement* parent, XmlElement*& last, const wchar_t* name, CString& value)
{
    const wchar_t* text = value.GetWide();
    last = CXml::AppendAfter(parent, last, CXml::CreateElement(name, (text && *text) ? text : nullptr));
}

void AppendInt(XmlElement* parent, XmlElement*& last, const wchar_t* name, int value)
{
    wchar_t text[16];
    FormatText(text, 16, L"%d", value);
    last = CXml::AppendAfter(parent, last, CXml::CreateElement(name, text));
}

// Text keys whose element is present but empty keep their default.
void ReadPathKey(XmlElement* config, const wchar_t* name, CString& field)
{
    XmlElement* e = CXml::FindChild(config, name);
    const wchar_t* text = CXml::GetText(e);
    if (*text)
        field.Assign(text);
}

}  // namespace

CCommConfig::CCommConfig()
    : m_HasToolBar(0), m_HasStatusBar(0), m_UiLanguage(0), m_Language(-1), m_FontSize(0), m_LogEnabled(0),
      m_ViewToolBar(1), m_ViewStatusBar(1), m_bLoadDamaged(0), m_ColorCount(2), m_DefaultColors(nullptr),
      m_Colors(nullptr), m_ColorNameCount(2), m_ColorNames(nullptr)
{
    InitializeCriticalSection(&m_SaveLock);

    wchar_t module[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    CString modulePath(module);
    CFileName name;
    name.Split(modulePath.GetBytes());
    m_AppPath.Copy(name.m_Folder);

    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    m_CurrentPath.Assign(current);
    Trace(L"app_path     = %s\n", m_AppPath.GetWide() ? m_AppPath.GetWide() : L"");
    Trace(L"current_path = %s\n", m_CurrentPath.GetWide() ? m_CurrentPath.GetWide() : L"");

    m_TempPath.Copy(m_CurrentPath);
    m_LogPath.Copy(m_CurrentPath);

    m_DefaultColors = new (std::nothrow) ColorPair[2];
    m_Colors = new (std::nothrow) ColorPair[2];
    m_ColorNames = new (std::nothrow) ColorName[2];
    if (!m_DefaultColors || !m_Colors)
        m_ColorCount = 0;
    if (!m_ColorNames)
        m_ColorNameCount = 0;
    for (int i = 0; i < m_ColorCount; ++i)
        m_DefaultColors[i] = m_Colors[i] = kDefaultColors[i];
    for (int i = 0; i < m_ColorNameCount; ++i)
        m_ColorNames[i] = kColorNames[i];
}

CCommConfig::~CCommConfig()
{
    delete[] m_DefaultColors;
    delete[] m_Colors;
    delete[] m_ColorNames;
    DeleteCriticalSection(&m_SaveLock);
}

int CCommConfig::Initialize()
{
    SetupIdentity();
    return 1;
}

void CCommConfig::GetIniFile(CString& copy)
{
    EnterCriticalSection(&m_SaveLock);
    copy.Copy(m_IniFile);
    LeaveCriticalSection(&m_SaveLock);
}

bool CCommConfig::FileBeside(const wchar_t* name, wchar_t* path, int count)
{
    CString ini;
    GetIniFile(ini);
    const wchar_t* file = ini.GetWide();
    path[0] = L'\0';
    const wchar_t* slash = file ? wcsrchr(file, L'\\') : nullptr;
    int folder = slash ? static_cast<int>(slash - file) + 1 : 0;
    if (!slash || folder + lstrlenW(name) >= count)
        return false;
    lstrcpynW(path, file, folder + 1);
    lstrcpyW(path + folder, name);
    return true;
}

// Files beside the configuration: ".tmp", the new file a save writes
// first, and ".bad", a copy of a file the loader rejected. Beside a path
// too long for the suffix they take a short name in the same folder.
static const int kSiblingPathSize = MAX_PATH;
static void SiblingPath(const wchar_t* iniPath, const wchar_t* suffix, wchar_t* path)
{
    size_t length = wcslen(iniPath);
    if (length + wcslen(suffix) < MAX_PATH) {
        FormatText(path, kSiblingPathSize, L"%s%s", iniPath, suffix);
        return;
    }
    size_t folder = length;
    while (folder > 0 && iniPath[folder - 1] != L'\\' && iniPath[folder - 1] != L'/')
        --folder;
    FormatText(path, kSiblingPathSize, L"%.*s~mv%s", static_cast<int>(folder), iniPath, suffix);
}

static bool FileExists(const wchar_t* path)
{
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

namespace {

// The configuration is small; anything past 256 MB is not ours.
const unsigned long long kMaxConfigSize = 0x10000000ULL;

// The whole file in a new[] buffer; null when it cannot be read, is empty,
// or is larger than kMaxConfigSize (size tells which).
char* ReadWholeFile(const wchar_t* path, unsigned& length, unsigned long long& size)
{
    CFile file;
    size = 0;
    if (!file.OpenForRead(path))
        return nullptr;
    size = file.GetSize();
    if (size == 0 || size > kMaxConfigSize) {
        file.Close();
        return nullptr;
    }
    length = static_cast<unsigned>(size);
    char* data = new (std::nothrow) char[length];
    if (data && file.Read(data, length, 0) < length) {
        delete[] data;
        data = nullptr;
    }
    file.Close();
    return data;
}

// Notepad saves UTF-8 with a byte-order mark.
const char* SkipByteOrderMark(const char* text, unsigned& length)
{
    if (length >= 3 && memcmp(text, "\xEF\xBB\xBF", 3) == 0) {
        length -= 3;
        return text + 3;
    }
    return text;
}

// True when the whole file reads as a document without damage: a save
// killed while it wrote the file leaves it cut short.
bool ParsesCompletely(const wchar_t* path)
{
    unsigned length = 0;
    unsigned long long size = 0;
    char* data = ReadWholeFile(path, length, size);
    if (!data)
        return false;
    const char* text = SkipByteOrderMark(data, length);
    CXml xml;
    XmlElement* first = xml.LoadDocument(text, static_cast<int>(length));
    bool complete = first && xml.IsComplete();
    CXml::FreeElements(first);
    delete[] data;
    return complete;
}

}  // namespace

// A configuration there, or the save it left half done there.
static bool HasConfiguration(const wchar_t* path)
{
    wchar_t tempPath[kSiblingPathSize];
    SiblingPath(path, L".tmp", tempPath);
    return FileExists(path) || (FileExists(tempPath) && ParsesCompletely(tempPath));
}

// Whether a save could write its temporary file beside path (a folder
// under Program Files is not writable, and a 64-bit program gets no
// virtualisation there).
static bool CanWriteBeside(const wchar_t* path)
{
    wchar_t tempPath[kSiblingPathSize];
    SiblingPath(path, L".tmp", tempPath);
    HANDLE probe = CreateFileW(tempPath, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (probe == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(probe);
    return true;
}

void CCommConfig::ResolveIniFile()
{
    // The current folder's file; else the application folder's; else the
    // user's own local folder (device ids belong to this machine, so not
    // the roaming one), which a read-only application folder falls back to.
    wchar_t here[MAX_PATH], beside[MAX_PATH], local[MAX_PATH] = L"";
    ComposeIniPath(here, m_CurrentPath);
    ComposeIniPath(beside, m_AppPath);
    wchar_t localFolder[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", localFolder, MAX_PATH);
    if (n > 0 && n < MAX_PATH - 24)
        FormatText(local, MAX_PATH, L"%s\\Marivane\\marivane.ini", localFolder);
    const wchar_t* path = beside;
    if (HasConfiguration(here))
        path = here;
    else if (HasConfiguration(beside))
        path = beside;
    else if (*local && (HasConfiguration(local) || !CanWriteBeside(beside))) {
        wchar_t folder[MAX_PATH];
        FormatText(folder, MAX_PATH, L"%s\\Marivane", localFolder);
        CreateDirectoryW(folder, nullptr);
        path = local;
    }
    m_IniFile.Assign(path);
    Trace(L"ini_file = %s\n", path);
}

int CCommConfig::Load()
{
    const wchar_t* path = m_IniFile.GetWide();
    if (!path)
        return 0;
    FinishInterruptedSave(path);
    unsigned length = 0;
    unsigned long long size = 0;
    char* data = ReadWholeFile(path, length, size);
    if (!data) {
        if (size > kMaxConfigSize) {
            KeepDamagedFile(path);
            m_bLoadDamaged = 1;
        }
        return 0;
    }
    const char* text = SkipByteOrderMark(data, length);
    CXml xml;
    XmlElement* first = xml.LoadDocument(text, static_cast<int>(length));
    if (!first) {
        delete[] data;
        KeepDamagedFile(path);
        m_bLoadDamaged = 1;
        return 0;
    }
    // The readable part is loaded; the next save would drop the rest for
    // good, so the original is kept first.
    if (!xml.IsComplete()) {
        KeepDamagedFile(path);
        m_bLoadDamaged = 1;
    }
    ReadKeys(xml, first);
    CXml::FreeElements(first);
    delete[] data;
    return 1;
}

void CCommConfig::KeepDamagedFile(const wchar_t* iniPath)
{
    // The next save would put the defaults in its place and every program
    // would be gone: a copy stays beside it for the user to mend.
    wchar_t badPath[kSiblingPathSize];
    SiblingPath(iniPath, L".bad", badPath);
    if (CopyFileW(iniPath, badPath, FALSE))
        Trace(L"CCommConfig::Load: the damaged configuration is kept as %s\n", badPath);
}


void CCommConfig::FinishInterruptedSave(const wchar_t* iniPath)
{
    // The swap can leave the new file under its temporary name with the old
    // one already gone (Wine's ReplaceFileW moves the target aside first).
    // The temporary file was complete and flushed before the swap began.
    // A first save killed while it wrote leaves a file cut short and no
    // configuration: that one is only kept, as ".bad".
    if (FileExists(iniPath))
        return;
    wchar_t tempPath[kSiblingPathSize];
    SiblingPath(iniPath, L".tmp", tempPath);
    if (!FileExists(tempPath))
        return;
    if (!ParsesCompletely(tempPath)) {
        wchar_t badPath[kSiblingPathSize];
        SiblingPath(iniPath, L".bad", badPath);
        Trace(L"CCommConfig::Load: an incomplete temporary file is kept as %s\n", badPath);
        MoveFileExW(tempPath, badPath, MOVEFILE_REPLACE_EXISTING);
        return;
    }
    Trace(L"CCommConfig::Load: finishing an interrupted save\n");
    MoveFileExW(tempPath, iniPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

bool CCommConfig::ReplaceIniFile(const wchar_t* tempPath, const wchar_t* iniPath)
{
    // Virus scanners and indexers hold files briefly: retry those failures.
    for (int attempt = 0; attempt < 10; ++attempt) {
        bool exists = FileExists(iniPath);
        BOOL done = exists ? ReplaceFileW(iniPath, tempPath, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                                          nullptr)
                           : FALSE;
        if (!done)
            done = MoveFileExW(tempPath, iniPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        if (done)
            return true;
        DWORD error = GetLastError();
        if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION &&
            error != ERROR_UNABLE_TO_REMOVE_REPLACED && error != ERROR_UNABLE_TO_MOVE_REPLACEMENT)
            return false;
        Sleep(50);
    }
    return false;
}

int CCommConfig::Save()
{
    EnterCriticalSection(&m_SaveLock);
    int result = 0;
    CXml xml;
    XmlElement* root = CXml::CreateElement(L"root", nullptr);
    if (root) {
        WriteKeys(xml, root);
        char* text = root->m_pChild ? xml.Write(root->m_pChild) : nullptr;
        const wchar_t* iniPath = m_IniFile.GetWide();
        if (text && iniPath && *iniPath) {
            // Write a temporary file beside the old one, make it durable, then
            // swap it in: a crash, power loss or full disk never leaves the
            // configuration truncated.
            wchar_t tempPath[kSiblingPathSize];
            SiblingPath(iniPath, L".tmp", tempPath);
            unsigned length = static_cast<unsigned>(strlen(text));
            CFile file;
            if (file.CreateForWrite(tempPath, 1) == 0) {
                bool written = file.Write(text, length, 0) == length;
                written = written && FlushFileBuffers(file.m_hFile);
                file.Close();
                if (written && ReplaceIniFile(tempPath, iniPath))
                    result = 1;
                else
                    DeleteFileW(tempPath);
            }
        }
        delete[] text;
        CXml::FreeElements(root);
    }
    LeaveCriticalSection(&m_SaveLock);
    return result;
}

void CCommConfig::ReadKeys(CXml&, XmlElement* first)
{
    XmlElement* config = CXml::FindSibling(first, L"config");
    if (!config)
        return;
    m_Language = CXml::GetInt(CXml::FindChild(config, L"language"), -1);
    m_FontName.Assign(CXml::GetText(CXml::FindChild(config, L"font_name")));
    m_FontSize = CXml::GetInt(CXml::FindChild(config, L"font_size"), 0);
    ReadPathKey(config, L"temp_path", m_TempPath);
    m_LogEnabled = CXml::GetInt(CXml::FindChild(config, L"log_enabled"), 0);
    ReadPathKey(config, L"log_path", m_LogPath);
    m_ViewToolBar = CXml::GetInt(CXml::FindChild(config, L"view_toolbar"), 1);
    m_ViewStatusBar = CXml::GetInt(CXml::FindChild(config, L"view_statusbar"), 1);

    XmlElement* colors = CXml::FindChild(config, L"colors");
    if (!colors)
        return;
    for (XmlElement* color = CXml::FindChild(colors, L"color"); color; color = CXml::FindNext(color)) {
        int index = CXml::GetInt(CXml::FindChild(color, L"index"), m_ColorCount);
        if (index < 0 || index >= m_ColorCount)
            continue;
        m_Colors[index].m_Text = static_cast<unsigned>(
            CXml::GetInt(CXml::FindChild(color, L"text"), static_cast<int>(m_DefaultColors[index].m_Text)));
        m_Colors[index].m_Background = static_cast<unsigned>(CXml::GetInt(
            CXml::FindChild(color, L"background"), static_cast<int>(m_DefaultColors[index].m_Background)));
    }
}

void CCommConfig::WriteKeys(CXml&, XmlElement* root)
{
    XmlElement* config = CXml::CreateElement(L"config", nullptr);
    if (!config)
        return;
    CXml::AppendChild(root, config);
    XmlElement* last = nullptr;
    AppendInt(config, last, L"language", m_Language);
    AppendText(config, last, L"font_name", m_FontName);
    AppendInt(config, last, L"font_size", m_FontSize);
    AppendText(config, last, L"temp_path", m_TempPath);
    AppendInt(config, last, L"log_enabled", m_LogEnabled);
    AppendText(config, last, L"log_path", m_LogPath);
    AppendInt(config, last, L"view_toolbar", m_ViewToolBar);
    AppendInt(config, last, L"view_statusbar", m_ViewStatusBar);
    XmlElement* colors = CXml::CreateElement(L"colors", nullptr);
    if (!colors)
        return;
    last = CXml::AppendAfter(config, last, colors);
    XmlElement* lastColor = nullptr;
    for (int i = 0; i < m_ColorCount; ++i) {
        XmlElement* color = CXml::CreateElement(L"color", nullptr);
        if (!color)
            continue;
        lastColor = CXml::AppendAfter(colors, lastColor, color);
        XmlElement* field = nullptr;
        AppendInt(color, field, L"index", i);
        AppendInt(color, field, L"text", static_cast<int>(m_Colors[i].m_Text));
        AppendInt(color, field, L"background", static_cast<int>(m_Colors[i].m_Background));
    }
}
