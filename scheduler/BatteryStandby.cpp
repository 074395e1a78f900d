#include "scheduler/BatteryStandby.h"

#include "foundation/DateTime.h"
#include "foundation/Format.h"

long long CBatteryStandby::CutAt(const PowerFacts& facts, long long nowUtc, long long stopUtc)
{
    if (!facts.known || !facts.onBattery || !facts.modernStandby || facts.sleepTimeoutDc == 0)
        return 0;
    // The timeout runs from the last input; one already past ends the
    // requests a grace period from now.
    long long left = static_cast<long long>(facts.sleepTimeoutDc) - facts.idleSeconds;
    long long cut = nowUtc + ((left > 0 ? left : 0) + kGraceSeconds) * CDateTime::kSecond;
    return cut < stopUtc ? cut : 0;
}

void CBatteryStandby::Note(const PowerFacts& facts, bool japanese, wchar_t* text, int count)
{
    text[0] = L'\0';
    if (!facts.known || !facts.battery)
        return;
    if (!facts.modernStandby) {
        FormatText(text, count, japanese ? L"バッテリー駆動中も、録音中はスリープしません。"
                                         : L"On battery, too, this PC stays awake while recording.");
    } else if (facts.sleepTimeoutDc == 0) {
        FormatText(text, count, japanese ? L"バッテリー駆動時のスリープが「なし」のため、録音は最後まで続きます。"
                                         : L"On battery this PC never sleeps, so recordings run to their end.");
    } else {
        unsigned minutes = static_cast<unsigned>((facts.sleepTimeoutDc + kGraceSeconds + 59) / 60);
        FormatText(text, count,
                   japanese ? L"バッテリー駆動中は %u 分操作がないとモダン スタンバイが録音を止めるため、録音中は画面をオンのままにします。"
                            : L"On battery, Modern Standby would stop a recording after %u min without use: the screen is kept "
                              L"on while recording.",
                   minutes);
    }
}
