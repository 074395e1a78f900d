#include "scheduler/WakeSupport.h"

#include <powrprof.h>

namespace {

// The sleep subgroup's "Allow wake timers", declared here so no GUID library is needed.
const GUID kSleepSubgroup = {0x238c9fa8, 0x0aad, 0x41ed, {0x83, 0xf4, 0x97, 0xbe, 0x24, 0x2c, 0x8f, 0x20}};
const GUID kAllowRtcWake = {0xbd3b718a, 0x0680, 0x4d9d, {0x8a, 0xb2, 0xe1, 0xd2, 0xb4, 0xac, 0x80, 0x6d}};

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
    // Modern Standby (no S3) changes nothing here: the sleep is S4 either way.
    SYSTEM_POWER_STATUS status;
    facts.onBattery = GetSystemPowerStatus(&status) && status.ACLineStatus == 0;
    GUID* scheme = nullptr;
    if (PowerGetActiveScheme(nullptr, &scheme) == ERROR_SUCCESS && scheme) {
        DWORD value = 1;
        DWORD read = facts.onBattery ? PowerReadDCValueIndex(nullptr, scheme, &kSleepSubgroup, &kAllowRtcWake, &value)
                                     : PowerReadACValueIndex(nullptr, scheme, &kSleepSubgroup, &kAllowRtcWake, &value);
        // 0 disables them; 1 enables them, 2 "important wake timers only" lets ours through too.
        if (read == ERROR_SUCCESS)
            facts.allowWakeTimers = value != 0;
        LocalFree(scheme);
    }
    return facts;
}

CWakeSupport::Verdict CWakeSupport::Judge(const PowerFacts& facts)
{
    if (!facts.known)
        return kUnknown;
    if (!facts.allowWakeTimers)
        return kWakeTimersOff;
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
    case kNoTimerWake:
        return japanese ? L"このパソコンはタイマーで休止状態から復帰できません。スリープ後の録音にはこの設定を使えません。"
                        : L"This PC cannot be woken from hibernation by a timer; leave it on for recordings instead.";
    default: return L"";
    }
}
