#include "scheduler/WakeSupport.h"

#include "foundation/Trace.h"

#include <powrprof.h>

namespace {

// The sleep subgroup's "Allow wake timers", declared here so no GUID library is needed.
const GUID kSleepSubgroup = {0x238c9fa8, 0x0aad, 0x41ed, {0x83, 0xf4, 0x97, 0xbe, 0x24, 0x2c, 0x8f, 0x20}};
const GUID kAllowRtcWake = {0xbd3b718a, 0x0680, 0x4d9d, {0x8a, 0xb2, 0xe1, 0xd2, 0xb4, 0xac, 0x80, 0x6d}};
// Its "Sleep after" (seconds idle before the PC sleeps, 0 never).
const GUID kStandbyTimeout = {0x29f6c1db, 0x86da, 0x48c5, {0x9f, 0xdb, 0xf2, 0xb6, 0x7b, 0x1f, 0x44, 0xda}};

}  // namespace

PowerFacts (*CWakeSupport::s_Facts)() = CWakeSupport::Query;

PowerFacts CWakeSupport::Query()
{
    PowerFacts facts;
    SYSTEM_POWER_CAPABILITIES caps = {};
    if (!GetPwrCapabilities(&caps))
        return facts;
    facts.known = true;
    facts.hibernate = caps.SystemS4 && caps.HiberFilePresent;
    facts.rtcWakeS4 = caps.RtcWake >= PowerSystemHibernate;
    // A sleep request enters the deepest of S1-S3 there is.
    int deepest = caps.SystemS3 ? PowerSystemSleeping3
                  : caps.SystemS2 ? PowerSystemSleeping2
                  : caps.SystemS1 ? PowerSystemSleeping1 : 0;
    facts.sleep = deepest != 0;
    facts.rtcWakeSleep = deepest && caps.RtcWake >= deepest;
    facts.battery = caps.SystemBatteriesPresent;
    POWER_PLATFORM_INFORMATION platform = {};
    facts.modernStandby = CallNtPowerInformation(PlatformInformation, nullptr, 0, &platform, sizeof platform) == 0 &&
                          platform.AoAc;
    SYSTEM_POWER_STATUS status;
    facts.onBattery = GetSystemPowerStatus(&status) && status.ACLineStatus == 0;
    GUID* scheme = nullptr;
    if (PowerGetActiveScheme(nullptr, &scheme) == ERROR_SUCCESS && scheme) {
        DWORD ac = 1, dc = 1;
        if (PowerReadACValueIndex(nullptr, scheme, &kSleepSubgroup, &kAllowRtcWake, &ac) == ERROR_SUCCESS)
            facts.wakeTimersAc = static_cast<int>(ac);
        if (PowerReadDCValueIndex(nullptr, scheme, &kSleepSubgroup, &kAllowRtcWake, &dc) == ERROR_SUCCESS)
            facts.wakeTimersDc = static_cast<int>(dc);
        DWORD timeout = 0;
        if (PowerReadDCValueIndex(nullptr, scheme, &kSleepSubgroup, &kStandbyTimeout, &timeout) == ERROR_SUCCESS)
            facts.sleepTimeoutDc = timeout;
        LocalFree(scheme);
    }
    LASTINPUTINFO input = {sizeof input, 0};
    if (GetLastInputInfo(&input))
        facts.idleSeconds = (GetTickCount() - input.dwTime) / 1000;
    Trace(L"[CWakeSupport] hibernation %d, RTC wake from S4 %d, sleep %d, RTC wake from it %d, Modern Standby %d, "
          L"battery %d, on battery %d, wake timers AC %d DC %d, sleep after %u s on battery, idle %u s\n",
          facts.hibernate, facts.rtcWakeS4, facts.sleep, facts.rtcWakeSleep, facts.modernStandby, facts.battery,
          facts.onBattery, facts.wakeTimersAc, facts.wakeTimersDc, facts.sleepTimeoutDc, facts.idleSeconds);
    return facts;
}

CWakeSupport::Verdict CWakeSupport::Judge(const PowerFacts& facts, bool hibernate)
{
    if (!facts.known)
        return kUnknown;
    // The value of the power source in use.
    int timers = facts.onBattery ? facts.wakeTimersDc : facts.wakeTimersAc;
    if (timers == 0)
        return kWakeTimersOff;
    if (timers != 1)
        return kImportantTimersOnly;
    if (!hibernate)
        return facts.rtcWakeSleep ? kCanWake : kNoTimerWakeFromSleep;
    if (!facts.hibernate)
        return kNoHibernation;
    if (!facts.rtcWakeS4)
        return kNoTimerWake;
    return kCanWake;
}

const wchar_t* CWakeSupport::Advice(Verdict verdict, bool japanese)
{
    switch (verdict) {
    case kWakeTimersOff:
        return japanese ? L"電源オプションの詳細設定で [スリープ] > [スリープ解除タイマーの許可] を有効にしてください。"
                        : L"Turn on Power Options > Change advanced power settings > Sleep > Allow wake timers.";
    case kNoHibernation:
        return japanese ? L"休止状態が無効です。管理者として powercfg /hibernate on を実行してください。"
                        : L"Hibernation is off: run \"powercfg /hibernate on\" as an administrator.";
    case kImportantTimersOnly:
        return japanese ? L"[スリープ解除タイマーの許可] を「有効」にしてください。"
                        : L"Set Allow wake timers to Enable: \"Important only\" wakes Windows alone.";
    case kNoTimerWake:
        return japanese ? L"このパソコンはタイマーで休止状態から復帰できません。スリープ後の録音にはこの設定を使えません。"
                        : L"This PC cannot be woken from hibernation by a timer; leave it on for recordings instead.";
    case kNoTimerWakeFromSleep:
        return japanese ? L"このパソコンはタイマーでスリープから復帰できません。録音終了後は「休止状態」を選んでください。"
                        : L"This PC cannot be woken from sleep by a timer: choose Hibernate after recording instead.";
    default: return L"";
    }
}

const wchar_t* CWakeSupport::StandbyNote(const PowerFacts& facts, bool japanese)
{
    if (!facts.modernStandby)
        return L"";
    return japanese ? L"モダン スタンバイ: スタンバイ中は Marivane も止まり、次の予約の前にスリープ解除タイマーで復帰させます。"
                    : L"Modern Standby: while this PC stands by, Marivane is paused; its wake timer brings the PC back for the next program.";
}
