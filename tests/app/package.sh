#!/usr/bin/env bash
# The release packages under Wine, as a user meets them: the silent per-user
# install (files, shortcut, Apps & features entry, Run value), the installed
# program recording a 10 s program, an install over the running copy, the
# silent uninstall (the recordings and settings stay), and the portable zip.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
wine() { "$root/scripts/wine-exec" "$@"; }
winpath() { "$root/scripts/winpath" "$1"; }
fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; return 1; fi; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$root/scripts/package" --no-build >/dev/null || { echo "FAILED: scripts/package"; exit 1; }
version=$(sed -n 's/^#define MARIVANE_VERSION_TEXT "\(.*\)"/\1/p' "$root/resources/version.h")
users="${MARIVANE_WINE_DIR:-$root/build/wine}/prefix/drive_c/users/$(whoami)"
inst="$users/AppData/Local/Programs/Marivane"
uninstall="HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Marivane"
run="HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"
[ -f "$inst/uninstall.exe" ] && wine "$inst/uninstall.exe" /S "_?=$(winpath "$inst")"

wine "$root/build/dist/marivane-$version-setup.exe" /S
check "the setup installs the program, the libraries' licenses and its Start-menu shortcut" '[ -f "$inst/marivane.exe" ] &&
  [ -f "$inst/help/index-en.html" ] && [ -f "$users/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Marivane.lnk" ] &&
  [ "$(ls "$inst/licenses")" = "$(ls "$root/build/deps/prefix/licenses")" ]'
# The codecs linked in statically: the program stays small and needs the system's DLLs only
# (WinHTTP and Winsock for the stations among them, bcrypt for FFmpeg's random seed).
check "the program is at most 3 MB and imports system DLLs only" '[ $(stat -c %s "$inst/marivane.exe") -le 3145728 ] &&
  ! x86_64-w64-mingw32-objdump -p "$inst/marivane.exe" | sed -n "s/^\tDLL Name: //p" |
    grep -viE "^(kernel32|user32|gdi32|advapi32|shell32|ole32|comctl32|winmm|powrprof|wtsapi32|msvcrt|winhttp|ws2_32|bcrypt)\.dll$"'
check "Apps & features shows its version" 'wine reg query "$uninstall" /v DisplayVersion | grep -q "$version"'
check "it starts with Windows" 'wine reg query "$run" /v Marivane | grep -q "marivane.exe"'

# A 10 s program twelve seconds from now, the settings beside the installed
# program. The start leaves a loaded machine time to start Wine and the
# program; the end is waited for, not guessed.
mkdir -p "$work/wav"
at() { date -d "@$(( $(date +%s) + $1 ))" '+%Y/%m/%d %H:%M:%S'; }
printf '<?xml version="1.0" ?>\r\n<config><language>0</language><wavfile_dir>%s</wavfile_dir><frequency>48000</frequency><channels>2</channels></config>\r\n<programs><item><start_time>%s</start_time><stop_time>%s</stop_time><weekly>0</weekly><title>Installed</title></item></programs>\r\n' \
  "$(winpath "$work/wav")" "$(at 12)" "$(at 22)" > "$inst/marivane.ini"
(cd "$inst" && wine ./marivane.exe) & program=$!
for _ in $(seq 60); do sleep 1; grep -q "<item>" "$inst/marivane.ini" || break; done
sleep 1
wav=$(ls "$work"/wav/Installed_*_000.wav 2>/dev/null | head -1)
check "the installed program records 10 s" '[ -n "$wav" ] && awk -v d="$(soxi -D "$wav")" "BEGIN { exit !(d > 9.9 && d < 10.1) }"' ||
  { ls -l "$work/wav"; [ -n "$wav" ] && soxi -D "$wav"; cat "$inst/marivane.log" 2>/dev/null; }
check "its retired program is saved beside it" '! grep -q "<item>" "$inst/marivane.ini"'

wine "$root/build/dist/marivane-$version-setup.exe" /S
sleep 1
check "an install over the running copy ends it and replaces the program" '! kill -0 $program 2>/dev/null &&
  [ -f "$inst/marivane.exe" ]'
wait $program 2>/dev/null

wine "$inst/uninstall.exe" /S "_?=$(winpath "$inst")"
check "the uninstall removes the program, its registry values, and keeps the recordings and settings" \
  '[ ! -f "$inst/marivane.exe" ] && [ ! -d "$inst/help" ] && [ ! -d "$inst/licenses" ] && ! wine reg query "$uninstall" >/dev/null 2>&1 &&
   ! wine reg query "$run" /v Marivane >/dev/null 2>&1 && [ -f "$wav" ] && [ -f "$inst/marivane.ini" ]'
rm -rf "$inst"

unzip -q "$root/build/dist/marivane-$version-win64.zip" -d "$work/zip"
check "the portable zip carries the libraries' licenses" '[ "$(ls "$work/zip/marivane/licenses")" = "$(ls "$root/build/deps/prefix/licenses")" ]'
(cd "$work/zip/marivane" && wine ./marivane.exe) & portable=$!
sleep 6
check "the portable copy runs, and a second start gives way to it" 'kill -0 $portable 2>/dev/null &&
  (cd "$work/zip/marivane" && timeout 20 "$root/scripts/wine-exec" ./marivane.exe)'
wine taskkill /im marivane.exe >/dev/null 2>&1
sleep 3
check "and a close ends it" '! kill -0 $portable 2>/dev/null'
kill $portable 2>/dev/null
echo "packages: $([ $fail = 0 ] && echo passed || echo FAILED)"
exit $fail
