// The application's own messages, all posted, never sent.
#pragma once

#include <windows.h>

enum : UINT {
    WM_TRAY_NOTIFY = 0x404,
    // The set-up of a program. lParam: its own source (new wchar_t[], the
    // receiver frees it), null for the settings' device; wParam: a
    // station's HLS variant as the program chose it (0: the best).
    WM_CAPTURE_OPEN = 0x405,
    // lParam: the program's RecordingParameters block (files/, new), which
    // the receiver frees.
    WM_CAPTURE_START = 0x406,
    // wParam: the program's stop (UTC, 100-ns units), 0 for now.
    WM_CAPTURE_CLOSE = 0x407,
    WM_SHUTDOWN_INQUIRY = 0x408,
    WM_CLOSE_INQUIRY = 0x409,
    WM_CAPTURE_RELEASE = 0x40A,
    // A failure the user must hear of; wParam is one of the notices below,
    // lParam null or a heap block of text (new wchar_t[]) the receiver frees.
    WM_RECORDING_NOTICE = 0x40B,
    // To the audio thread, from the capture device's thread: the device is gone.
    WM_CAPTURE_LOST = 0x40C,
    // The recording started last ends at wParam (UTC, 100-ns units); sent
    // whenever the program's stop changes after its WM_CAPTURE_START.
    WM_CAPTURE_STOP_AT = 0x40D,
    // To the audio thread: the wall clock was set, its zone changed or the
    // system resumed; the capture clock takes its offset again.
    WM_CAPTURE_CLOCK = 0x40E,
    // From the writer thread: a recording's last file is closed. lParam: a
    // heap block (new wchar_t[]) the receiver frees, the recording's files
    // with their paths, one a line.
    WM_RECORDING_FILES = 0x417,
};

enum RecordingNotice : WPARAM {
    kNoticeDeviceFailed = 1,  // no capture device could be opened at the start
    kNoticeFileFailed = 2,    // a WAV file could not be created
    kNoticeWriteFailed = 3,   // a write failed mid-recording (disk full)
    kNoticeSaveFailed = 4,    // the scheduler could not save the configuration
    kNoticeDeviceLost = 5,    // the capture device went away mid-recording
    kNoticeQueueFull = 6,     // the disk fell so far behind that audio was dropped
    kNoticeStreamBroke = 7,   // the stream broke off (a suspend): the recording goes on in the next file
    kNoticeSettingsDamaged = 8,  // the configuration was damaged: its readable part loaded, the original kept
    kNoticeMissed = 9,        // programs ended while the program was not running or the PC slept (lParam: text)
    kNoticeSilence = 10,      // a minute without sound in the recording
    kNoticeSoundBack = 11,    // sound came back after a silence (logged, no balloon)
    kNoticeAccessDenied = 12, // Windows' microphone privacy setting denies the device
    kNoticeDiskSpace = 13,    // the program will not fit the free space (lParam: text)
    kNoticeLowDisk = 14,      // under 64 MB free while recording
    kNoticeCannotWake = 15,   // the PC could not wake for the next program: it does not sleep
    kNoticeSleepFailed = 16,  // the sleep request failed; the wake timer stays armed
    kNoticeCutShort = 17,     // the last run's recording was cut short by a shutdown, crash or kill (lParam: text)
    kNoticeSkipped = 18,      // windows the change to summer time skipped entirely (lParam: text)
    kNoticeNoTrayIcon = 19,   // the notification icon cannot be added: retried, the recordings go on
    kNoticeTrayIconAdded = 20,  // it was added after failures (lParam: the count; logged, no balloon)
    kNoticeSessionAway = 21,  // another user took the console (fast user switching): no sound for this one
    kNoticeSleptNoWake = 22,  // the PC went to sleep and cannot wake for the next program (lParam: advice)
    kNoticeDeviceAbsent = 23,     // the chosen device is not there: the default one records (lParam: "chosen\tused")
    kNoticeNothingRecorded = 24,  // a recording ended without a frame: no file was made (lParam: its file name)
    kNoticeLoopbackFailed = 27,   // what the PC plays cannot be recorded (no loopback capture here)
    kNoticeLoopbackSilence = 28,  // a minute with nothing played, recording what the PC plays
    kNoticeNothingPlayed = 29,    // a recording of what the PC plays ended with nothing played (lParam: its file name)
    kNoticeOutputFollowed = 30,   // the default output changed and the recording follows it (lParam: its name)
    kNoticeCleanedUp = 31,    // old recordings went to the Recycle Bin (lParam: text; logged, no balloon)
    kNoticeRecycleRefused = 32,  // the folder's Recycle Bin cannot take them: kept (lParam: folder, tab, names)
    kNoticeCleanupFailed = 33,   // old recordings could not be moved (lParam: text)
    kNoticeCommandDone = 34,     // the after-recording command ended with 0 (lParam: text; logged, no balloon)
    kNoticeCommandFailed = 35,   // it ended with another exit code (lParam: text)
    kNoticeCommandNotRun = 36,   // it could not be started (lParam: text)
    kNoticeCommandRunning = 37,  // it still runs after 30 minutes and is left alone (lParam: text; logged)
    kNoticeScreenKeptOn = 38,    // on battery with Modern Standby the screen stays on while recording (lParam: the title)
    kNoticeStandbyStops = 39,    // on battery Modern Standby may stop the recording (lParam: "title\thh:mm")
    kNoticeStationNoAnswer = 40,      // a station's program starts and its station has not answered: tried until the stop (lParam: "title\taddress\treason")
    kNoticeSourceNotUnderstood = 41,  // a program's source is not understood: the settings' device records (lParam: "title\tsource")
    kNoticeStreamBreak = 42,     // a station's stream broke and is back, or the program ended in the break (lParam: "title\thh:mm:ss\th:mm:ss lost")
    kNoticeStationNothing = 43,  // a station's program ended without a frame: no file (lParam: "title\taddress")
    kNoticeLateStart = 44,       // a station's program started late: how much the station still kept (lParam: "title\th:mm:ss late\th:mm:ss kept")
};

// Characters in a recording's file-name prefix.
constexpr int kFilePrefixSize = 520;
