#include "files/CueSheet.h"
#include "foundation/Trace.h"

#include <windows.h>
#include <cwchar>

namespace {

// A CUE sheet has no escapes: a double quote in a text becomes a single one.
std::wstring Quoted(const std::wstring& text)
{
    std::wstring q = L"\"";
    for (wchar_t c : text)
        q += c == L'"' ? L'\'' : c < 0x20 ? L' ' : c;
    return q + L"\"";
}

}  // namespace

void CCueSheet::Begin(const wchar_t* title, const wchar_t* station)
{
    m_Path.clear();
    m_Title = title ? title : L"";
    m_Station = station ? station : L"";
    m_Current = m_Title;
    m_Files.clear();
    m_Tracks.clear();
    m_bWritten = false;
}

void CCueSheet::AddFile(const std::wstring& path)
{
    if (m_Files.empty()) {
        size_t dot = path.rfind(L'.');
        m_Path = path.substr(0, dot) + L".cue";
    }
    if (m_Path.empty())
        return;
    size_t slash = path.rfind(L'\\');
    m_Files.push_back(slash == std::wstring::npos ? path : path.substr(slash + 1));
    m_Tracks.push_back({m_Files.size() - 1, m_Current, 0, 1});
    Write();
}

void CCueSheet::SetTitle(const std::wstring& text, unsigned long long samples, unsigned rate)
{
    m_Current = text;
    if (m_Files.empty() || m_Path.empty() || !rate)
        return;
    Track& last = m_Tracks.back();
    if (last.file == m_Files.size() - 1 && last.samples * rate == samples * last.rate)
        last.text = m_Current;
    else
        m_Tracks.push_back({m_Files.size() - 1, m_Current, samples, rate});
    Write();
}

std::wstring CCueSheet::Offset(unsigned long long samples, unsigned rate)
{
    unsigned long long frames = rate ? samples * 75 / rate : 0;
    wchar_t text[32];
    swprintf(text, 32, L"%02llu:%02llu:%02llu", frames / 75 / 60, frames / 75 % 60, frames % 75);
    return text;
}

void CCueSheet::Write()
{
    std::wstring sheet;
    if (!m_Station.empty())
        sheet += L"PERFORMER " + Quoted(m_Station) + L"\r\n";
    if (!m_Title.empty())
        sheet += L"TITLE " + Quoted(m_Title) + L"\r\n";
    size_t file = ~static_cast<size_t>(0);
    unsigned number = 0;
    for (const Track& track : m_Tracks) {
        if (track.file != file) {
            file = track.file;
            const std::wstring& name = m_Files[file];
            bool mp3 = name.size() > 4 && _wcsicmp(name.c_str() + name.size() - 4, L".mp3") == 0;
            sheet += L"FILE " + Quoted(name) + (mp3 ? L" MP3\r\n" : L" WAVE\r\n");
        }
        wchar_t head[32];
        swprintf(head, 32, L"  TRACK %02u AUDIO\r\n", ++number);
        sheet += head;
        // "Artist - Title", as stations send it; anything else is the title alone.
        size_t dash = track.text.find(L" - ");
        if (dash != std::wstring::npos && dash > 0) {
            sheet += L"    TITLE " + Quoted(track.text.substr(dash + 3)) + L"\r\n";
            sheet += L"    PERFORMER " + Quoted(track.text.substr(0, dash)) + L"\r\n";
        } else if (!track.text.empty()) {
            sheet += L"    TITLE " + Quoted(track.text) + L"\r\n";
        }
        sheet += L"    INDEX 01 " + Offset(track.samples, track.rate) + L"\r\n";
    }
    int length = static_cast<int>(sheet.size());
    int n = WideCharToMultiByte(CP_UTF8, 0, sheet.c_str(), length, nullptr, 0, nullptr, nullptr);
    std::string bytes = "\xEF\xBB\xBF";
    bytes.resize(3 + static_cast<size_t>(n > 0 ? n : 0));
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, sheet.c_str(), length, &bytes[3], n, nullptr, nullptr);
    HANDLE handle = CreateFileW(m_Path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              m_bWritten ? CREATE_ALWAYS : CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    bool ok = handle != INVALID_HANDLE_VALUE &&
              WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    if (!ok)
        Trace(L"[CCueSheet] %s could not be written: %lu\n", m_Path.c_str(), GetLastError());
    if (handle != INVALID_HANDLE_VALUE)
        m_bWritten = true;
    else if (!m_bWritten)
        m_Path.clear();  // another recording's sheet of that name stays as it is
}
