#!/usr/bin/env bash
# End-to-end runs of veskparser-sweep.exe under Wine, in a fresh prefix whose drive_c is C:\.
#   sweep_command_under_wine.sh path/to/veskparser-sweep.exe VERSION
set -uo pipefail
exe=$1
version=$2
export WINEDEBUG=-all
export WINEPREFIX
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/vesk-wine.XXXXXX")
trap 'wineserver -k 2>/dev/null; rm -rf "$WINEPREFIX"' EXIT
wine=$(command -v wine || command -v wine64)

failures=0
check() {  # check WHAT EXPECTED ACTUAL
    if [ "$2" == "$3" ]; then
        echo "ok: $1"
    else
        echo "FAILED: $1"
        echo "  expected: $(printf '%q' "$2")"
        echo "  actual:   $(printf '%q' "$3")"
        failures=$((failures + 1))
    fi
}
sorted_lines() { tr -d '\r' <"$1" | sort | tr '\n' ' '; }

"$wine" wineboot -i >/dev/null 2>&1
c="$WINEPREFIX/drive_c"
today=$(date +%F)
mkdir -p "$c/logs"
printf 'x\r\nScriptLog: ####\r\ncheat 1\r\n' >"$c/logs/a.log"
printf 'ScriptLog: ####\r\ncheat 2\r\n' >"$c/logs/B.LOG"
printf 'ScriptLog: ####\r\nhidden\r\n' >"$c/logs/h.log"
printf 'ScriptLog: ####\r\nsystem\r\n' >"$c/logs/s.log"
"$wine" cmd /c 'attrib +h C:\logs\h.log' >/dev/null 2>&1
"$wine" cmd /c 'attrib +s C:\logs\s.log' >/dev/null 2>&1
report="$c/VOReradivu_$today.log"

out=$("$wine" "$exe" 'C:\logs' 2>/dev/null | tr -d '\r')
check "a folder of logs: exit status" 0 "$?"
check "a folder of logs: completion text, count and report path" \
    "Operation completed!"$'\n'"2 findings from 2 logs"$'\n'"c:\\VOReradivu_$today.log" "$out"
check "the report at C:\\ without the hidden and the system log" "cheat 1 cheat 2 " \
    "$(sorted_lines "$report")"
check "the report's lines end in CR LF" 2 "$(grep -c $'\r$' "$report")"
attributes=$("$wine" cmd /c "attrib C:\\VOReradivu_$today.log" 2>/dev/null | cut -c1-12)
check "the report is not hidden, as its draft was" "" "$(tr -dc 'H' <<<"$attributes")"

# Names in any letter case and outside the code page, in a folder named outside it too.
folder="$c/логи"
mkdir -p "$folder"
for name in UPPER.LOG lower.log Mixed.Log 日本ж.log; do
    printf 'ScriptLog: ####\r\nfrom %s\r\n' "$name" >"$folder/$name"
done
printf 'ScriptLog: ####\r\nnot a log\r\n' >"$folder/notes.logs"
"$wine" "$exe" --quiet 'C:\логи' >/dev/null 2>&1
check "names in any case and outside the code page" \
    "from Mixed.Log from UPPER.LOG from lower.log from 日本ж.log " "$(sorted_lines "$report")"

mkdir -p "$c/out"
out=$("$wine" "$exe" --quiet --report-folder 'C:\out' 'C:\logs' 2>&1)
check "--quiet --report-folder: exit status and no output" "0 " "$? $out"
check "--report-folder: the report there" "cheat 1 cheat 2 " \
    "$(sorted_lines "$c/out/VOReradivu_$today.log")"

"$wine" "$exe" 'C:\missing' >/dev/null 2>&1
check "a missing folder: exit status" 2 "$?"

# --follow: an append to a log is picked up, printed and published.
mkdir -p "$c/live" "$c/home"
printf 'ScriptLog: ####\r\nat the start\r\n' >"$c/live/server.log"
"$wine" "$exe" --follow --report-folder 'C:\home' 'C:\live' >"$c/follow.out" 2>/dev/null &
follower=$!
followed="$c/home/VOReradivu_$today.log"
for _ in $(seq 100); do [ -f "$followed" ] && break; sleep 0.1; done
printf 'ScriptLog: ####\r\nappended\r\n' >>"$c/live/server.log"
for _ in $(seq 100); do grep -q appended "$followed" 2>/dev/null && break; sleep 0.1; done
check "--follow: the report with the appended finding" "appended at the start " \
    "$(sorted_lines "$followed")"
check "--follow: the finding printed with its log" 'C:\live\server.log:appended' \
    "$(tr -d '\r' <"$c/follow.out" | grep appended)"
kill "$follower" 2>/dev/null
wait "$follower" 2>/dev/null

out=$("$wine" "$exe" --version 2>/dev/null | tr -d '\r')
check "--version" "veskparser-sweep $version" "$out"

echo "$failures failed"
[ "$failures" -eq 0 ]
