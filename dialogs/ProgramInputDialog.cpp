#include "dialogs/ProgramInputDialog.h"
#include "config/AppParameter.h"
#include "foundation/Format.h"
#include "foundation/TextLines.h"
#include "programs/ProgramItem.h"
#include "programs/ProgramList.h"
#include "programs/ProgramOverlap.h"
#include "resources/resource.h"
#include "stream/StationProbe.h"

#include <algorithm>
#include <commctrl.h>
#include <new>

CProgramInputDialog* g_pInputDialog = nullptr;

namespace {

const long long kMinute = 60 * CDateTime::kSecond;

// The repeat presets: the buttons and their days (bit 0 Sunday).
const struct {
    int id;
    unsigned days;
} kPresets[] = {{IDC_REPEAT_DAILY, 0x7F}, {IDC_REPEAT_WEEKDAYS, 0x3E}, {IDC_REPEAT_WEEKENDS, 0x41}, {IDC_REPEAT_NONE, 0}};

void SetPicker(HWND hwnd, int id, const CDateTime& time, bool seconds)
{
    SYSTEMTIME st = time.m_Time;
    if (!seconds)
        st.wSecond = 0;
    st.wMilliseconds = 0;
    SendDlgItemMessageW(hwnd, id, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
}

SYSTEMTIME GetPicker(HWND hwnd, int id)
{
    SYSTEMTIME st = {};
    SendDlgItemMessageW(hwnd, id, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st));
    return st;
}

// The date of one picker and the time of the other, seconds 0 unless kept.
void ReadTime(HWND hwnd, int dateId, int timeId, CDateTime& time, bool seconds)
{
    SYSTEMTIME date = GetPicker(hwnd, dateId);
    SYSTEMTIME clock = GetPicker(hwnd, timeId);
    time.Set(date.wYear, date.wMonth, date.wDay, clock.wHour, clock.wMinute, seconds ? clock.wSecond : 0);
}

// Now, to the second.
CDateTime ThisSecond()
{
    CDateTime now;
    now.SetNow();
    const SYSTEMTIME& t = now.m_Time;
    now.Set(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    return now;
}

const wchar_t* NoStationText(bool ja)
{
    return ja ? L"放送局のアドレスは http:// か https:// で始めてください。"
              : L"A station's address begins with http:// or https://.";
}

}  // namespace

// One Try, shared by the dialog and the thread that asks the station: the
// fields are written before the thread starts and only read after, but for
// the cancel flag (set by the UI thread) and the count of holders, both
// interlocked. The last holder to let go frees it.
struct StationTry {
    volatile LONG refs = 2;
    volatile LONG cancel = 0;
    HWND hwnd = nullptr;
    UINT number = 0;
    bool japanese = false;
    unsigned long long variant = 0;  // the one chosen when Try was pressed: the line describes it
    wchar_t address[ProgramSource::kSize] = {};

    static void Release(StationTry* t)
    {
        if (t && InterlockedDecrement(&t->refs) == 0)
            delete t;
    }
    static DWORD WINAPI Run(void* param)
    {
        StationTry* t = static_cast<StationTry*>(param);
        auto* answer = new (std::nothrow) CProgramInputDialog::TryAnswer();
        if (answer) {
            answer->ok = CStationProbe::Describe(t->address, t->japanese, answer->text, CProgramInputDialog::kAnswerSize,
                                                 &t->cancel, t->variant, &answer->offered);
            // A dialog gone or a try given up takes no answer.
            if (t->cancel || !PostMessageW(t->hwnd, CProgramInputDialog::kTryAnswer, t->number,
                                           reinterpret_cast<LPARAM>(answer)))
                delete answer;
        }
        Release(t);
        return 0;
    }
};

INT_PTR CALLBACK CProgramInputDialog::InputDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return g_pInputDialog ? g_pInputDialog->DialogProc(hwnd, message, wParam, lParam) : 0;
}

bool CProgramInputDialog::Run(HWND owner, ProgramList* list)
{
    m_pList = list;
    g_pInputDialog = this;
    INT_PTR result = DialogBoxParamW(OwnerInstance(owner), MAKEINTRESOURCEW(TemplateId(IDD_INPUT_JA)), owner,
                                     InputDialogProc, 0);
    g_pInputDialog = nullptr;
    return result == 1;
}

bool CProgramInputDialog::RunToInsert(HWND owner, ProgramList* list)
{
    ProgramItem* item = Run(owner, list) ? CreateItem() : nullptr;
    if (!item)
        return false;
    list->Insert(item);
    return true;
}

void CProgramInputDialog::SetRecordNow()
{
    m_bRecordNow = true;
    m_bNew = 1;
    m_Id = 0;
    m_Weekly = 0;
    m_StartTime = ThisSecond();
    m_StopTime = m_StartTime;
    m_StopTime.AddTicks(60 * kMinute);
    m_Title.Assign(CAppParameter::DefaultTitle(UiIsJapanese()));
}

void CProgramInputDialog::OnInitDialog(HWND hwnd)
{
    SetSmallAppIcon(hwnd);
    // The long date format ("Friday, December 12, 2025") does not fit the
    // picker: a short one that still names the weekday.
    const wchar_t* format = UiIsJapanese() ? L"yyyy/MM/dd (ddd)" : L"ddd yyyy/MM/dd";
    SendDlgItemMessageW(hwnd, IDC_START_DATE, DTM_SETFORMATW, 0, reinterpret_cast<LPARAM>(format));
    SendDlgItemMessageW(hwnd, IDC_STOP_DATE, DTM_SETFORMATW, 0, reinterpret_cast<LPARAM>(format));
    m_Length = m_StopTime.Diff(m_StartTime);
    if (!m_bRecordNow)
        m_Length = m_Length / kMinute * kMinute;
    SetPicker(hwnd, IDC_START_DATE, m_StartTime, m_bRecordNow);
    SetPicker(hwnd, IDC_START_TIME, m_StartTime, m_bRecordNow);
    SetPicker(hwnd, IDC_STOP_DATE, m_StopTime, m_bRecordNow);
    SetPicker(hwnd, IDC_STOP_TIME, m_StopTime, m_bRecordNow);
    SendDlgItemMessageW(hwnd, IDC_DURATION, EM_LIMITTEXT, 6, 0);
    ShowDuration(hwnd);
    SetDays(hwnd, m_Weekly);
    if (!m_Title.IsEmpty())
        SetDlgItemTextW(hwnd, IDC_TITLE, m_Title.GetWide());
    FillSource(hwnd);
}

INT_PTR CProgramInputDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kTryAnswer) {
        TryAnswer* answer = reinterpret_cast<TryAnswer*>(lParam);
        if (m_pTry && wParam == m_TryNumber) {
            SetDlgItemTextW(hwnd, IDC_STATION_ANSWER, answer->text);
            // A station that answered lists its variants now, or has none to
            // choose; one that did not keeps the choice as it was.
            if (answer->ok) {
                unsigned long long chosen = m_VariantsOf == m_pTry->address ? ChosenVariant(hwnd) : 0;
                m_VariantsOf = m_pTry->address;
                FillVariants(hwnd, &answer->offered, answer->offered.empty() ? 0 : chosen);
                ShowStation(hwnd);
            }
            KillTimer(hwnd, kTryTimer);
            StationTry::Release(m_pTry);
            m_pTry = nullptr;
        }
        delete answer;
        return TRUE;
    }
    if (message == WM_TIMER && wParam == kTryTimer) {
        if (m_pTry)
            SetDlgItemTextW(hwnd, IDC_STATION_ANSWER,
                            UiIsJapanese() ? L"10 秒以内に応答がありませんでした。" : L"No answer within 10 seconds.");
        CancelTry(hwnd);
        return TRUE;
    }
    if (message == WM_DESTROY)
        CancelTry(hwnd);
    return CDialog::DialogProc(hwnd, message, wParam, lParam);
}

void CProgramInputDialog::FillSource(HWND hwnd)
{
    bool ja = UiIsJapanese();
    if (m_pDevices)
        m_Choices = *m_pDevices;
    else
        m_Choices.ListDevices();
    m_Entries.clear();
    HWND combo = GetDlgItem(hwnd, IDC_SOURCE);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    CString copy;
    copy.Copy(m_Source);
    std::wstring source = copy.GetWide() ? copy.GetWide() : L"";
    SourceKind kind = ProgramSource::Kind(source.c_str());
    int chosen = 0;
    auto add = [&](SourceKind k, const std::wstring& id, const std::wstring& label) {
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label.c_str()));
        m_Entries.push_back({k, id});
    };
    add(kSourceSettings, L"", m_Choices.SettingsEntry());
    for (const CSourceChoices::Device& device : m_Choices.Devices()) {
        if (device.id == source)
            chosen = static_cast<int>(m_Entries.size());
        add(ProgramSource::Kind(device.id.c_str()), device.id, device.label);
    }
    // The program's own device not plugged in, or a source not understood:
    // listed and chosen, so OK keeps it.
    if ((kind == kSourceCapture || kind == kSourceLoopback) && !m_Choices.Find(source.c_str())) {
        chosen = static_cast<int>(m_Entries.size());
        add(kind, source, CSourceChoices::AbsentEntry(source.c_str(), ja));
    } else if (kind == kSourceUnknown) {
        chosen = static_cast<int>(m_Entries.size());
        add(kSourceUnknown, source, CSourceChoices::UnknownEntry(source.c_str(), ja));
    }
    if (kind == kSourceStation)
        chosen = static_cast<int>(m_Entries.size());
    add(kSourceStation, L"", CSourceChoices::StationEntry(ja));
    SendMessageW(combo, CB_SETCURSEL, chosen, 0);

    HWND address = GetDlgItem(hwnd, IDC_STATION_ADDRESS);
    SendMessageW(address, CB_LIMITTEXT, ProgramSource::kSize - 1, 0);
    CString used;
    if (g_pConfig)
        g_pConfig->GetSetting(g_pConfig->m_StationAddresses, used);
    ForEachLine(used.GetWide(), [&](const wchar_t* line, size_t length) {
        std::wstring text(line, length);
        SendMessageW(address, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    });
    if (kind == kSourceStation)
        SetWindowTextW(address, source.c_str());
    m_VariantsOf = kind == kSourceStation ? source : L"";
    FillVariants(hwnd, nullptr, kind == kSourceStation ? m_Variant : 0);
    ShowStation(hwnd);
}

void CProgramInputDialog::FillVariants(HWND hwnd, const std::vector<HlsVariant>* offered, unsigned long long chosen)
{
    bool ja = UiIsJapanese();
    HWND combo = GetDlgItem(hwnd, IDC_STATION_VARIANT);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    m_Variants.clear();
    auto add = [&](unsigned long long bandwidth, const std::wstring& label) {
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label.c_str()));
        m_Variants.push_back(bandwidth);
    };
    add(0, ja ? L"放送局が出す最高のもの" : L"The highest the station offers");
    std::vector<HlsVariant> sorted = offered ? *offered : std::vector<HlsVariant>();
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const HlsVariant& a, const HlsVariant& b) { return a.bandwidth > b.bandwidth; });
    for (const HlsVariant& v : sorted) {
        if (!v.bandwidth || std::find(m_Variants.begin(), m_Variants.end(), v.bandwidth) != m_Variants.end())
            continue;
        std::wstring name = v.CodecName();
        add(v.bandwidth, VariantText(v.bandwidth) + (name.empty() ? L"" : L" · " + name));
    }
    if (chosen && std::find(m_Variants.begin(), m_Variants.end(), chosen) == m_Variants.end())
        add(chosen, VariantText(chosen) + (!offered ? L""
                                           : ja     ? L" (今は出ていません: いちばん近いもの)"
                                                    : L" (not offered now: the nearest records)"));
    size_t at = static_cast<size_t>(std::find(m_Variants.begin(), m_Variants.end(), chosen) - m_Variants.begin());
    SendMessageW(combo, CB_SETCURSEL, at < m_Variants.size() ? at : 0, 0);
}

std::wstring CProgramInputDialog::VariantText(unsigned long long bandwidth)
{
    return std::to_wstring(bandwidth / 1000) + L" kbit/s";
}

unsigned long long CProgramInputDialog::ChosenVariant(HWND hwnd) const
{
    LRESULT chosen = SendDlgItemMessageW(hwnd, IDC_STATION_VARIANT, CB_GETCURSEL, 0, 0);
    return chosen >= 0 && static_cast<size_t>(chosen) < m_Variants.size() ? m_Variants[static_cast<size_t>(chosen)] : 0;
}

void CProgramInputDialog::AddressChanged(HWND hwnd, const std::wstring& text)
{
    if (text == m_VariantsOf || m_Variants.size() < 2)
        return;
    FillVariants(hwnd, nullptr, 0);
    ShowStation(hwnd);
}

void CProgramInputDialog::ShowStation(HWND hwnd)
{
    LRESULT chosen = SendDlgItemMessageW(hwnd, IDC_SOURCE, CB_GETCURSEL, 0, 0);
    bool station = chosen >= 0 && static_cast<size_t>(chosen) < m_Entries.size() &&
                   m_Entries[static_cast<size_t>(chosen)].kind == kSourceStation;
    for (int id : {IDC_STATION_ADDRESS, IDC_STATION_TRY, IDC_STATION_ANSWER})
        ShowWindow(GetDlgItem(hwnd, id), station ? SW_SHOW : SW_HIDE);
    // Only an HLS station has variants to choose.
    for (int id : {IDC_STATION_VARIANT_LABEL, IDC_STATION_VARIANT})
        ShowWindow(GetDlgItem(hwnd, id), station && m_Variants.size() > 1 ? SW_SHOW : SW_HIDE);
}

std::wstring CProgramInputDialog::TypedAddress(HWND hwnd)
{
    std::wstring text(ProgramSource::kSize + 1, L'\0');
    int length = GetDlgItemTextW(hwnd, IDC_STATION_ADDRESS, &text[0], ProgramSource::kSize + 1);
    text.resize(length > 0 ? static_cast<size_t>(length) : 0);
    // Blanks around it come from pasting; the address is kept as typed otherwise.
    size_t first = text.find_first_not_of(L" \t\u3000");
    size_t last = text.find_last_not_of(L" \t\u3000");
    return first == std::wstring::npos ? std::wstring() : text.substr(first, last - first + 1);
}

bool CProgramInputDialog::ReadSource(HWND hwnd)
{
    LRESULT chosen = SendDlgItemMessageW(hwnd, IDC_SOURCE, CB_GETCURSEL, 0, 0);
    if (chosen < 0 || static_cast<size_t>(chosen) >= m_Entries.size())
        return true;  // nothing chosen: the source stays as it was
    const SourceEntry& entry = m_Entries[static_cast<size_t>(chosen)];
    if (entry.kind != kSourceStation) {
        m_Source.Assign(entry.id.c_str());
        m_Variant = 0;
        return true;
    }
    std::wstring address = TypedAddress(hwnd);
    if (!ProgramSource::IsStation(address.c_str())) {
        bool ja = UiIsJapanese();
        MessageBoxW(hwnd, NoStationText(ja), ja ? L"予約入力" : L"Input Recording Program", MB_ICONHAND | MB_OK);
        return false;
    }
    m_Source.Assign(address.c_str());
    m_Variant = address == m_VariantsOf ? ChosenVariant(hwnd) : 0;
    return true;
}

void CProgramInputDialog::CancelTry(HWND hwnd)
{
    if (hwnd)
        KillTimer(hwnd, kTryTimer);
    if (!m_pTry)
        return;
    InterlockedExchange(&m_pTry->cancel, 1);
    StationTry::Release(m_pTry);
    m_pTry = nullptr;
}

void CProgramInputDialog::StartTry(HWND hwnd)
{
    bool ja = UiIsJapanese();
    CancelTry(hwnd);
    std::wstring address = TypedAddress(hwnd);
    if (!ProgramSource::IsStation(address.c_str())) {
        SetDlgItemTextW(hwnd, IDC_STATION_ANSWER, NoStationText(ja));
        return;
    }
    StationTry* t = new (std::nothrow) StationTry();
    if (!t)
        return;
    t->hwnd = hwnd;
    t->number = ++m_TryNumber;
    t->japanese = ja;
    t->variant = address == m_VariantsOf ? ChosenVariant(hwnd) : 0;
    lstrcpynW(t->address, address.c_str(), ProgramSource::kSize);
    HANDLE thread = CreateThread(nullptr, 0, StationTry::Run, t, 0, nullptr);
    if (!thread) {
        delete t;
        SetDlgItemTextW(hwnd, IDC_STATION_ANSWER, ja ? L"試せませんでした (メモリー不足)。" : L"Could not try (out of memory).");
        return;
    }
    CloseHandle(thread);
    m_pTry = t;
    SetDlgItemTextW(hwnd, IDC_STATION_ANSWER, ja ? L"接続しています…" : L"Connecting…");
    SetTimer(hwnd, kTryTimer, CStationProbe::kTimeoutMs + 500, nullptr);
}

void CProgramInputDialog::OnCommand(HWND hwnd, int id, int code)
{
    if (id == IDOK || id == IDCANCEL) {
        CDialog::OnCommand(hwnd, id, code);
    } else if (id >= IDC_DAY_SUNDAY && id < IDC_DAY_SUNDAY + 7) {
        bool checked = IsDlgButtonChecked(hwnd, id) == BST_CHECKED;
        CheckDlgButton(hwnd, id, checked ? BST_UNCHECKED : BST_CHECKED);
    } else if (id == IDC_DURATION) {
        if (code == EN_CHANGE && !m_bShowingDuration)
            DurationTyped(hwnd);
    } else if (id == IDC_SOURCE) {
        if (code == CBN_SELCHANGE)
            ShowStation(hwnd);
    } else if (id == IDC_STATION_ADDRESS) {
        if (code == CBN_EDITCHANGE) {
            AddressChanged(hwnd, TypedAddress(hwnd));
        } else if (code == CBN_SELCHANGE) {
            // The edit field takes the chosen text only after this notice.
            HWND combo = GetDlgItem(hwnd, IDC_STATION_ADDRESS);
            LRESULT i = SendMessageW(combo, CB_GETCURSEL, 0, 0);
            LRESULT length = i >= 0 ? SendMessageW(combo, CB_GETLBTEXTLEN, i, 0) : -1;
            if (length >= 0) {
                std::wstring text(static_cast<size_t>(length) + 1, L'\0');
                SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&text[0]));
                text.resize(static_cast<size_t>(length));
                AddressChanged(hwnd, text);
            }
        }
    } else if (id == IDC_STATION_TRY) {
        if (code == BN_CLICKED)
            StartTry(hwnd);
    } else {
        for (const auto& preset : kPresets)
            if (id == preset.id)
                SetDays(hwnd, preset.days);
    }
}

void CProgramInputDialog::SetDays(HWND hwnd, unsigned mask)
{
    for (int i = 0; i < 7; ++i)
        CheckDlgButton(hwnd, IDC_DAY_SUNDAY + i, (mask >> i) & 1 ? BST_CHECKED : BST_UNCHECKED);
}

// Date-time pickers tell of a change by DTN_DATETIMECHANGE only, never by
// a command.
void CProgramInputDialog::OnNotify(HWND hwnd, WPARAM idFrom, NMHDR* header)
{
    if (!header || header->code != static_cast<UINT>(DTN_DATETIMECHANGE) || m_bMovingStop)
        return;
    if (idFrom == IDC_START_DATE || idFrom == IDC_START_TIME) {
        m_bStartChanged = true;
        if (m_bNew)
            FollowStart(hwnd);
        else
            ShowDuration(hwnd);
    } else if (idFrom == IDC_STOP_DATE || idFrom == IDC_STOP_TIME) {
        m_bNew = 0;
        ShowDuration(hwnd);
    }
}

void CProgramInputDialog::FollowStart(HWND hwnd)
{
    CDateTime stop;
    ReadTime(hwnd, IDC_START_DATE, IDC_START_TIME, stop, m_bRecordNow);
    stop.AddTicks(m_Length);
    SetStop(hwnd, stop);
}

void CProgramInputDialog::SetStop(HWND hwnd, const CDateTime& stop)
{
    m_bMovingStop = true;
    SetPicker(hwnd, IDC_STOP_DATE, stop, m_bRecordNow);
    SetPicker(hwnd, IDC_STOP_TIME, stop, m_bRecordNow);
    m_bMovingStop = false;
}

void CProgramInputDialog::ShowDuration(HWND hwnd)
{
    CDateTime start, stop;
    ReadTime(hwnd, IDC_START_DATE, IDC_START_TIME, start, m_bRecordNow);
    ReadTime(hwnd, IDC_STOP_DATE, IDC_STOP_TIME, stop, m_bRecordNow);
    wchar_t text[32];
    FormatDuration(stop.Diff(start), text, 32);
    m_bShowingDuration = true;
    SetDlgItemTextW(hwnd, IDC_DURATION, text);
    m_bShowingDuration = false;
    m_bDurationValid = true;
}

void CProgramInputDialog::DurationTyped(HWND hwnd)
{
    wchar_t text[32] = L"";
    GetDlgItemTextW(hwnd, IDC_DURATION, text, 32);
    int minutes = 0;
    m_bDurationValid = ParseDuration(text, minutes);
    if (!m_bDurationValid)
        return;
    // The stop moves to the start plus the duration; a new program's stop
    // keeps following the start by it.
    m_Length = minutes * kMinute;
    FollowStart(hwnd);
}

bool CProgramInputDialog::ParseDuration(const wchar_t* text, int& minutes)
{
    // Full-width digits and colon count as their ASCII forms; blanks around are passed over.
    wchar_t plain[16];
    int n = 0;
    for (const wchar_t* p = text ? text : L""; *p; ++p) {
        wchar_t c = *p >= 0xFF10 && *p <= 0xFF1A ? static_cast<wchar_t>(*p - 0xFF10 + L'0') : *p;
        if (c == L' ' || c == L'\t' || c == 0x3000)
            continue;
        if (n >= 15)
            return false;
        plain[n++] = c;
    }
    plain[n] = L'\0';
    // h:mm or hh:mm, the minutes always two digits.
    const wchar_t* colon = wcschr(plain, L':');
    if (!colon || colon == plain || colon - plain > 2 || wcslen(colon + 1) != 2)
        return false;
    int hours = 0;
    for (const wchar_t* p = plain; p < colon; ++p) {
        if (*p < L'0' || *p > L'9')
            return false;
        hours = hours * 10 + (*p - L'0');
    }
    if (colon[1] < L'0' || colon[1] > L'5' || colon[2] < L'0' || colon[2] > L'9')
        return false;
    minutes = hours * 60 + (colon[1] - L'0') * 10 + (colon[2] - L'0');
    return minutes <= kMaxDurationMinutes;
}

void CProgramInputDialog::FormatDuration(long long ticks, wchar_t* text, int count)
{
    long long minutes = (ticks < 0 ? -ticks : ticks) / kMinute;
    FormatText(text, static_cast<size_t>(count), L"%s%lld:%02lld", ticks < 0 ? L"-" : L"", minutes / 60, minutes % 60);
}

bool CProgramInputDialog::Check(HWND hwnd)
{
    bool ja = UiIsJapanese();
    const wchar_t* caption = ja ? L"予約入力" : L"Input Recording Program";
    const wchar_t* refusal = nullptr;
    if (m_Title.IsBlank())
        refusal = ja ? L"タイトルを入力してください。" : L"Enter a title.";
    else if (m_StopTime.Diff(m_StartTime) <= 0)
        refusal = ja ? L"終了時刻は開始時刻より後にしてください。" : L"The stop time must be later than the start time.";
    if (refusal) {
        MessageBoxW(hwnd, refusal, caption, MB_ICONHAND | MB_OK);
        return false;
    }
    const wchar_t* ask = ja ? L"\n\nこのまま保存しますか?" : L"\n\nSave it anyway?";
    CDateTime now;
    now.SetNow();
    if (!(m_Weekly & 0x7F) && m_StopTime.Diff(now) <= 0) {
        wchar_t text[256];
        FormatText(text, 256, L"%s%s",
                   ja ? L"終了時刻はもう過ぎています。この予約は録音されずに削除されます。"
                      : L"The stop time has already passed: the program will be deleted without being recorded.",
                   ask);
        if (MessageBoxW(hwnd, text, caption, MB_ICONEXCLAMATION | MB_YESNO | MB_DEFBUTTON2) != IDYES)
            return false;
    }
    ProgramItem* item = m_pList ? CreateItem() : nullptr;
    ProgramItem other;
    if (item && m_pList->FindOverlap(*item, other)) {
        wchar_t start[CDateTime::kTextSize], text[1024];
        other.m_StartTime.Format(start);
        const wchar_t* title = other.m_Title.GetWide();
        bool inside = ProgramInside(*item, other) || ProgramInside(other, *item);
        FormatText(text, 1024,
                   ja ? L"この予約は「%s」(%s 開始) と時間が重なっています。\n"
                        L"重なった予約は、前の予約が終わるまで待ってから録音されます。%s%s"
                      : L"This program overlaps \"%s\" (starting %s).\n"
                        L"An overlapping program waits for the one before it to end.%s%s",
                   title ? title : L"", start,
                   !inside ? L""
                   : ja    ? L"\nほかの予約にすっぽり含まれる予約は、録音されません。"
                           : L"\nA program wholly inside another is never recorded.",
                   ask);
        delete item;
        return MessageBoxW(hwnd, text, caption, MB_ICONEXCLAMATION | MB_YESNO | MB_DEFBUTTON2) == IDYES;
    }
    delete item;
    return true;
}

int CProgramInputDialog::OnOK(HWND hwnd)
{
    ReadTime(hwnd, IDC_START_DATE, IDC_START_TIME, m_StartTime, m_bRecordNow);
    ReadTime(hwnd, IDC_STOP_DATE, IDC_STOP_TIME, m_StopTime, m_bRecordNow);
    if (m_bRecordNow && !m_bStartChanged) {
        // "Now" is the moment of OK, however long the dialog was open; a
        // stop the user set stays where it is.
        m_StartTime = ThisSecond();
        if (m_bNew) {
            m_StopTime = m_StartTime;
            m_StopTime.AddTicks(m_Length);
        }
    }
    m_Weekly = 0;
    for (int i = 0; i < 7; ++i)
        if (IsDlgButtonChecked(hwnd, IDC_DAY_SUNDAY + i) == BST_CHECKED)
            m_Weekly |= 1u << i;
    wchar_t title[kMaxTitle + 1] = L"";
    GetDlgItemTextW(hwnd, IDC_TITLE, title, kMaxTitle + 1);
    m_Title.Assign(title);
    if (!m_bDurationValid) {
        bool ja = UiIsJapanese();
        MessageBoxW(hwnd, ja ? L"長さは 時:分 (99:59 まで) で入力してください。例: 1:30" : L"Enter the duration as h:mm, up to 99:59; for example 1:30.",
                    ja ? L"予約入力" : L"Input Recording Program", MB_ICONHAND | MB_OK);
        return 0;
    }
    if (!ReadSource(hwnd) || !Check(hwnd))
        return 0;
    // Offered first the next time.
    CString source;
    source.Copy(m_Source);
    if (g_pConfig && ProgramSource::IsStation(source.GetWide()))
        g_pConfig->AddStationAddress(source.GetWide());
    CancelTry(hwnd);
    return 1;
}

ProgramItem* CProgramInputDialog::CreateItem()
{
    ProgramItem* item = new (std::nothrow) ProgramItem();
    if (!item)
        return nullptr;
    item->m_Id = m_Id;
    item->m_State = Idle;
    const SYSTEMTIME& a = m_StartTime.m_Time;
    const SYSTEMTIME& b = m_StopTime.m_Time;
    item->m_StartTime.Set(a.wYear, a.wMonth, a.wDay, a.wHour, a.wMinute, a.wSecond);
    item->m_StopTime.Set(b.wYear, b.wMonth, b.wDay, b.wHour, b.wMinute, b.wSecond);
    item->m_Weekly = m_Weekly;
    item->m_Title.Copy(m_Title);
    item->m_Source.Copy(m_Source);
    item->m_Variant = m_Variant;
    return item;
}
