#!/usr/bin/env bash
# End-to-end runs of veskparser-sweep.exe under Wine, in a fresh prefix whose drive_c is C:\.
#   sweep_command_under_wine.sh path/to/veskparser-sweep.exe
set -uo pipefail
exe=$1
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

"$wine" wineboot -i >/dev/null 2>&1
c="$WINEPREFIX/drive_c"
mkdir -p "$c/logs"
printf 'x\r\nScriptLog: ####\r\ncheat 1\r\n' >"$c/logs/a.log"
printf 'ScriptLog: ####\r\ncheat 2\r\n' >"$c/logs/B.LOG"
printf 'ScriptLog: ####\r\nhidden\r\n' >"$c/logs/h.log"
"$wine" cmd /c 'attrib +h C:\logs\h.log' >/dev/null 2>&1
report="$c/VOReradivu_$(date +%F).log"

out=$("$wine" "$exe" 'C:\logs' 2>/dev/null | tr -d '\r')
check "a folder of logs: exit status" 0 "$?"
check "a folder of logs: completion text and report path" \
    "Operation completed!"$'\n'"2 findings from 2 logs"$'\n'"c:\\VOReradivu_$(date +%F).log" "$out"
sorted=$(tr -d '\r' <"$report" | sort | tr '\n' ' ')
check "a folder of logs: the report at C:\\ without the hidden log" "cheat 1 cheat 2 " "$sorted"
check "the report's lines end in CR LF" 2 "$(grep -c $'\r$' "$report")"

mkdir -p "$c/out"
out=$("$wine" "$exe" --quiet --report-folder 'C:\out' 'C:\logs' 2>&1)
check "--quiet --report-folder: exit status and no output" "0 " "$? $out"
check "--report-folder: the report there" "cheat 1 cheat 2 " \
    "$(tr -d '\r' <"$c/out/VOReradivu_$(date +%F).log" | sort | tr '\n' ' ')"

"$wine" "$exe" 'C:\missing' >/dev/null 2>&1
check "a missing folder: exit status" 2 "$?"

out=$("$wine" "$exe" --version 2>/dev/null | tr -d '\r')
check "--version" "veskparser 1.00" "$out"

echo "$failures failed"
[ "$failures" -eq 0 ]
