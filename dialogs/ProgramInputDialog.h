// The "Input Recording Program" dialog: start, stop (or the duration),
// weekly days, title and source of one program. OK refuses a program that
// cannot record and asks before one that will not record as the user may
// think. Try asks a station what it sends, on a thread of its own.
#pragma once

#include "dialogs/Dialog.h"
#include "dialogs/SourceChoices.h"
#include "foundation/DateTime.h"
#include "foundation/String.h"
#include "stream/HlsPlaylist.h"

#include <string>
#include <vector>

class ProgramItem;
class ProgramList;

class CProgramInputDialog : public CDialog {
public:
    static constexpr int kMaxTitle = 255;
    static constexpr int kMaxDurationMinutes = 99 * 60 + 59;

    // The Try answer's message (wParam: the try's number, lParam: its
    // TryAnswer, new, freed by the dialog), and the timer that gives up on it.
    static constexpr UINT kTryAnswer = WM_APP + 41;
    static constexpr UINT_PTR kTryTimer = 41;
    static constexpr int kAnswerSize = 512;

    CProgramInputDialog()
        : m_Id(0), m_Weekly(0), m_bNew(0), m_pList(nullptr), m_bRecordNow(false), m_Length(0), m_bMovingStop(false),
          m_bShowingDuration(false), m_bDurationValid(true), m_bStartChanged(false), m_pTry(nullptr), m_TryNumber(0)
    {
    }
    ~CProgramInputDialog() override { CancelTry(nullptr); }

    INT_PTR DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnInitDialog(HWND hwnd) override;
    void OnCommand(HWND hwnd, int id, int code) override;
    int OnOK(HWND hwnd) override;
    void OnNotify(HWND hwnd, WPARAM idFrom, NMHDR* header) override;

    static INT_PTR CALLBACK InputDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // Runs the dialog modally over owner, list for the overlap warning; true after OK.
    bool Run(HWND owner, ProgramList* list);
    // Runs it for a new program, which OK inserts into list; true when it did.
    bool RunToInsert(HWND owner, ProgramList* list);
    // "Record now": from this second for an hour, under the default title.
    // Until the user changes the start it is the moment of OK.
    void SetRecordNow();
    // A new program from the dialog's values; null when memory is short.
    ProgramItem* CreateItem();

    // The duration field: "h:mm" from 0:00 to 99:59 (full-width digits and
    // colon too, as a Japanese input method types them); false otherwise.
    static bool ParseDuration(const wchar_t* text, int& minutes);
    // A length as "h:mm" (whole minutes; "-h:mm" for a stop before the start).
    static void FormatDuration(long long ticks, wchar_t* text, int count);
    // A variant's bandwidth as the Variant list and the program list show it: "96 kbit/s".
    static std::wstring VariantText(unsigned long long bandwidth);

    unsigned m_Id;
    CDateTime m_StartTime;
    CDateTime m_StopTime;
    unsigned m_Weekly;
    CString m_Title;
    // The program's "source" (programs/ProgramSource.h); one not understood
    // stays as it is unless the user chooses another.
    CString m_Source;
    // A station's HLS variant, its bandwidth (ProgramItem::m_Variant; 0: the best).
    unsigned long long m_Variant = 0;
    // What a Try found: its line, and an HLS master's variants it can record.
    struct TryAnswer {
        wchar_t text[kAnswerSize];
        bool ok;
        std::vector<HlsVariant> offered;
    };
    // 1 for a new program while its stop follows its start (the user has
    // not changed the stop yet).
    int m_bNew;
    // The other programs, for the overlap warning; may be null.
    ProgramList* m_pList;
    // Opened by "Record now": the times keep their seconds.
    bool m_bRecordNow;
    // The devices as the opener listed them; null: the dialog lists them.
    const CSourceChoices* m_pDevices = nullptr;

private:
    // False when the user keeps the dialog open to mend the program.
    bool Check(HWND hwnd);
    void FollowStart(HWND hwnd);
    void SetStop(HWND hwnd, const CDateTime& stop);
    // The duration field from the pickers.
    void ShowDuration(HWND hwnd);
    // The user typed a duration: the stop follows it.
    void DurationTyped(HWND hwnd);
    void SetDays(HWND hwnd, unsigned mask);
    // The Source list and the addresses used before; the station's row shows with its entry.
    void FillSource(HWND hwnd);
    void ShowStation(HWND hwnd);
    // The source chosen into m_Source; false (told) for an address that is no station's.
    bool ReadSource(HWND hwnd);
    std::wstring TypedAddress(HWND hwnd);
    // The Variant list: the best first, then what a Try found offered
    // (null: not asked), and the chosen one if not among them.
    void FillVariants(HWND hwnd, const std::vector<HlsVariant>* offered, unsigned long long chosen);
    unsigned long long ChosenVariant(HWND hwnd) const;
    // The address in the field changed (text: the new one): variants found for another are let go.
    void AddressChanged(HWND hwnd, const std::wstring& text);
    // Try: the station's answer comes as kTryAnswer; a new try or the
    // dialog's end cancels the one running (hwnd null: no window to tell).
    void StartTry(HWND hwnd);
    void CancelTry(HWND hwnd);

    long long m_Length;  // stop minus start while the stop follows
    bool m_bMovingStop;  // the dialog itself is setting the stop pickers
    bool m_bShowingDuration;  // ... or the duration field
    bool m_bDurationValid;  // the duration field holds a duration (or the dialog's own text)
    bool m_bStartChanged;   // the user changed the start

    struct SourceEntry {
        SourceKind kind;
        std::wstring id;  // a device's id; the text of one not understood
    };
    CSourceChoices m_Choices;
    std::vector<SourceEntry> m_Entries;  // the Source list's entries in order
    std::vector<unsigned long long> m_Variants;  // the Variant list's bandwidths in order (0: the best)
    std::wstring m_VariantsOf;  // the address they were found for
    // The try running, shared with its thread (StationTry in the .cpp); the
    // UI thread's pointer, null when none runs.
    struct StationTry* m_pTry;
    UINT m_TryNumber;
};

extern CProgramInputDialog* g_pInputDialog;
