#include "notices/NoticeText.h"
#include "foundation/Format.h"
#include "foundation/Messages.h"

#include <cwchar>

namespace {

struct Texts {
    WPARAM notice;
    const wchar_t* ja;
    const wchar_t* en;
};

// %s stands for the program's title where a text has one, else the detail.
const Texts kTexts[] = {
    {kNoticeDeviceFailed, L"録音デバイスを開けませんでした。録音は始まっていません。予約の終わりまで再試行します。",
     L"The capture device could not be opened: the recording has not started. It is tried again until the program "
     L"ends."},
    {kNoticeDeviceLost,
     L"録音中に録音デバイスが失われました。それまでのファイルは閉じました。デバイスが戻りしだい次のファイルに録音を続けます。",
     L"The capture device was lost during the recording. The file so far is closed; the recording goes on in the "
     L"next file as soon as a device opens."},
    {kNoticeFileFailed, L"録音ファイルを作成できませんでした。録音されていません。設定の保存先フォルダーを確かめてください。",
     L"The recording file could not be created: nothing is being recorded. Check the WAV folder in the settings."},
    {kNoticeWriteFailed,
     L"録音ファイルに書き込めませんでした (ディスクがいっぱい?)。録音は止まりました。それまでの分は残っています。",
     L"Writing the recording file failed (is the disk full?): the recording has stopped. What was recorded until then is "
     L"kept."},
    {kNoticeStreamBroke,
     L"録音が途中で途切れました (スリープなど)。それまでのファイルは閉じ、次のファイルに録音を続けています。",
     L"The recording broke off (the computer slept, or the sound system stalled). The file so far is closed; the "
     L"recording goes on in the next file."},
    {kNoticeQueueFull, L"ディスクへの書き込みが追いつかず、録音の一部が失われました。保存先のドライブを確かめてください。",
     L"The disk could not keep up with the recording and part of it was lost. Check the drive of the WAV folder."},
    {kNoticeSettingsDamaged,
     L"設定ファイルが壊れていました。読めた部分を読み込み、元のファイルは marivane.ini.bad として残しました。予約を確かめてください。",
     L"The settings file was damaged. Its readable part was loaded and the original is kept as marivane.ini.bad. "
     L"Check your programs."},
    {kNoticeMissed, L"起動していない間に録音されませんでした: %s", L"Missed while not running: %s"},
    {kNoticeSilence, L"%s: 1 分間音がありません。録音デバイスと入力レベルを確かめてください。",
     L"%s: no sound for a minute. Check the input device and its level."},
    {kNoticeSoundBack, L"%s: 音が戻りました。", L"%s: the sound is back."},
    {kNoticeAccessDenied,
     L"Windows がマイクへのアクセスを拒否しています。設定 > プライバシーとセキュリティ > マイク で「デスクトップ アプリにマイクへのアクセスを許可する」をオンにしてください。再試行を続けます。",
     L"Windows denies access to the microphone. Turn on \"Let desktop apps access your microphone\" in Settings > "
     L"Privacy & security > Microphone. The recording is tried again meanwhile."},
    {kNoticeDiskSpace, L"空き容量が足りない可能性があります: %s。録音は行います。",
     L"The recording may not fit the free space: %s. It records anyway."},
    {kNoticeLowDisk, L"録音先のドライブの空きが 64 MB を切りました。", L"Less than 64 MB is free on the drive being recorded to."},
    {kNoticeCannotWake,
     L"このパソコンは次の予約のためにスリープから復帰できません。スリープしませんでした。%s",
     L"This PC cannot wake for the next program, so it was not put to sleep. %s"},
    {kNoticeCutShort, L"%s", L"%s"},
    {kNoticeSkipped, L"夏時間への切り替えで時刻が飛んだため録音されませんでした: %s",
     L"Not recorded: the change to summer time skipped its time: %s"},
    {kNoticeNoTrayIcon,
     L"通知領域にアイコンを追加できません。録音は予定どおり行い、アイコンの追加を再試行します。",
     L"The notification icon could not be added. Recordings go on as scheduled; the icon is tried again."},
    {kNoticeTrayIconAdded, L"通知領域のアイコンを %s 回目で追加しました。", L"The notification icon was added at attempt %s."},
    {kNoticeSessionAway,
     L"別のユーザーがこのパソコンを使っているため (ユーザーの切り替え)、録音できません。それまでのファイルは閉じ、戻りしだい次のファイルに録音します。",
     L"Another user is using this PC (switch user), so nothing can be recorded. The file so far is closed; the "
     L"recording goes on in the next file when you are back."},
    {kNoticeSleptNoWake, L"パソコンがスリープしましたが、次の予約のために復帰できない可能性があります。%s",
     L"The PC went to sleep, but it may not wake for the next program. %s"},
    {kNoticeSleepFailed, L"スリープできませんでした。復帰タイマーは設定したままです。",
     L"The computer could not be put to sleep. The wake timer stays set."},
    {kNoticeLoopbackFailed,
     L"このシステムではこのPCの再生音を録音できません (出力のループバック録音ができません)。録音は始まっていません。予約の終わりまで再試行します。",
     L"This system cannot record what this PC plays (its sound system offers no loopback recording of the output): "
     L"the recording has not started. It is tried again until the program ends."},
    {kNoticeLoopbackSilence, L"%s: 1 分間何も再生されていません。プレーヤーが動いていて、ミュートされていないか確かめてください。",
     L"%s: nothing has played for a minute. Check that the player is running and not muted."},
    {kNoticeNothingPlayed,
     L"%s: 録音の間、何も再生されませんでした。ファイルは無音だけです。プレーヤーが動いていて、ミュートされていなかったか確かめてください。",
     L"%s: nothing at all played during the recording; its file holds silence only. Check that the player was "
     L"running and not muted."},
    {kNoticeDeviceAbsent,
     L"%s が接続されていないため、代わりに %s で録音しています。設定はそのままで、つながれば次の録音から使います。",
     L"%s is not connected, so %s records instead. It stays chosen and is used again once it is back."},
    {kNoticeNothingRecorded,
     L"%s: 何も録音されませんでした。予約の間、録音デバイスから音が届かなかったため、ファイルは作られていません。",
     L"%s: nothing was recorded. No sound came from the capture device during the program, so no file was made."},
    {kNoticeOutputFollowed, L"既定の出力が %s に変わりました。同じファイルに続けて録音しています (切り替えの間は無音です)。",
     L"The default output changed to %s: the recording follows it in the same file (the moment of the switch is "
     L"silent)."},
    {kNoticeCleanedUp, L"古い録音をごみ箱へ移しました: %s", L"Old recordings moved to the Recycle Bin: %s"},
    {kNoticeRecycleRefused,
     L"%s の古い録音は残しました。このフォルダーのごみ箱には移せません (ネットワーク上のフォルダー、ごみ箱より大きいファイルなど)。手で削除するか、別の保存先を選んでください。残したファイル: %s",
     L"Old recordings in %s were kept: its Recycle Bin cannot take them (a network share, or a file larger than the "
     L"bin, say). Delete them yourself or choose another folder. Kept: %s"},
    {kNoticeCleanupFailed, L"古い録音をごみ箱へ移せませんでした: %s", L"Old recordings could not be moved to the Recycle Bin: %s"},
    {kNoticeCommandDone, L"録音後のコマンドが終わりました: %s", L"The after-recording command ended: %s"},
    {kNoticeCommandFailed, L"録音後のコマンドが失敗しました: %s", L"The after-recording command failed: %s"},
    {kNoticeCommandNotRun, L"録音後のコマンドを開始できませんでした: %s。設定の [その他] で確かめてください。",
     L"The after-recording command could not be started: %s. Check it in Setting > Misc."},
    {kNoticeScreenKeptOn,
     L"%s: バッテリー駆動中はモダン スタンバイが録音を止めてしまうため、録音中は画面をオンのままにします。",
     L"%s: on battery, Modern Standby would stop the recording, so the screen is kept on while recording on battery."},
    {kNoticeStandbyStops,
     L"%s: バッテリー駆動中は、操作がなければモダン スタンバイが %s ごろに録音を止めます。電源につなぐか、バッテリー駆動時のスリープを「なし」にしてください。",
     L"%s: on battery, Modern Standby stops the recording at about %s if nobody uses this PC. Plug it in, or set "
     L"sleep on battery to Never."},
    {kNoticeStationNoAnswer,
     L"%s: 放送局 (%s) が応答しません: %s 予約の終わりまで接続を試み続けます。応答があるまでファイルは作りません。",
     L"%s: the station (%s) does not answer: %s It is tried again until the program ends; no file is made until it "
     L"answers."},
    {kNoticeStreamBreak, L"%s: %s にストリームが途切れました。失われたのは %s です", L"%s: the stream broke at %s; %s lost"},
    {kNoticeLateStart, L"%s: 録音の開始が %s 遅れました。そのうち %s は放送局が保持していた分から録音しました。",
     L"%s: the recording started %s late; %s of that came from what the station still kept."},
    {kNoticeStationNothing,
     L"%s: 何も録音されませんでした。予約の間、放送局 (%s) から音声が届かなかったため、ファイルは作られていません。",
     L"%s: nothing was recorded. No audio came from the station (%s) during the program, so no file was made."},
    {kNoticeSourceNotUnderstood,
     L"%s: 録音元「%s」を解釈できないため、設定のデバイスで録音しています。予約の録音元を選び直してください。",
     L"%s: its source \"%s\" is not understood, so the device in the settings records it. Choose the program's "
     L"source again."},
    {kNoticeCommandRunning, L"録音後のコマンドが 30 分たっても終わりません。そのままにします: %s",
     L"The after-recording command still runs after 30 minutes and is left alone: %s"},
};

}  // namespace

const wchar_t* NoticeTitle(WPARAM notice, bool japanese)
{
    switch (notice) {
    case kNoticeSettingsDamaged: return japanese ? L"設定ファイルが壊れていました" : L"The settings file was damaged";
    case kNoticeMissed: return japanese ? L"録音されなかった予約" : L"Missed recordings";
    case kNoticeCannotWake:
    case kNoticeSleepFailed: return japanese ? L"スリープ" : L"Sleep after recording";
    case kNoticeSleptNoWake: return japanese ? L"スリープ" : L"Sleep";
    case kNoticeCutShort: return japanese ? L"途中で終わった録音" : L"A recording was cut short";
    case kNoticeSkipped: return japanese ? L"夏時間" : L"Summer time";
    case kNoticeNoTrayIcon:
    case kNoticeTrayIconAdded: return japanese ? L"通知領域のアイコン" : L"Notification icon";
    // Told as a recording ends, when its program may have left the list's head.
    case kNoticeNothingPlayed: return japanese ? L"何も再生されませんでした" : L"Nothing played";
    case kNoticeNothingRecorded: return japanese ? L"録音されませんでした" : L"Nothing recorded";
    case kNoticeCleanedUp:
    case kNoticeRecycleRefused:
    case kNoticeCleanupFailed: return japanese ? L"古い録音" : L"Old recordings";
    case kNoticeCommandDone:
    case kNoticeCommandFailed:
    case kNoticeCommandNotRun:
    case kNoticeCommandRunning: return japanese ? L"録音後のコマンド" : L"After recording";
    case kNoticeScreenKeptOn:
    case kNoticeStandbyStops: return japanese ? L"バッテリー駆動" : L"On battery";
    case kNoticeStationNoAnswer:
    case kNoticeStreamBreak:
    case kNoticeLateStart:
    case kNoticeStationNothing: return japanese ? L"放送局" : L"Station";
    default: return nullptr;
    }
}

const wchar_t* NoticeText(WPARAM notice, const wchar_t* detail, bool japanese, const wchar_t* program, wchar_t* text,
                          int count)
{
    text[0] = L'\0';
    for (const Texts& t : kTexts) {
        if (t.notice != notice)
            continue;
        const wchar_t* format = japanese ? t.ja : t.en;
        bool titled = notice == kNoticeSilence || notice == kNoticeLoopbackSilence || notice == kNoticeSoundBack;
        // A detail of fields parted by tabs fills as many %s (the last field takes the rest).
        wchar_t fields[3][MAX_PATH] = {};
        const wchar_t* at = detail ? detail : L"";
        for (int i = 0; i < 3 && at; ++i) {
            const wchar_t* tab = i < 2 ? wcschr(at, L'\t') : nullptr;
            lstrcpynW(fields[i], at, tab && tab - at < MAX_PATH ? static_cast<int>(tab - at) + 1 : MAX_PATH);
            at = tab ? tab + 1 : nullptr;
        }
        FormatText(text, count, format, titled ? program : fields[0], fields[1], fields[2]);
        break;
    }
    return text;
}

bool NoticeLogOnly(WPARAM notice)
{
    return notice == kNoticeSoundBack || notice == kNoticeCleanedUp || notice == kNoticeCommandDone ||
           notice == kNoticeCommandRunning;
}
