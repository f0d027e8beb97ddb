#!/usr/bin/env bash
# The program's own look, seen from outside: under Xvfb with a store of three every-day
# tasks, a shot of the whole screen after a few seconds must hold, pixel-exact, the six
# column colours in the rows, the header gradient's first rows, the clock's lit and unlit
# segments and the status line's ground. usage: check-look.sh <horalet> <out.png>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
SHOT=root SHOT_DELAY=4 HORALET_EXE=$1 "$here/../../../scripts/screenshot.sh" "$2" \
    "$here/../../data/look-window" >/dev/null
histogram=$(convert "$2" -format %c histogram:info:-)
count() { # pixels of one colour, given as RRGGBB
    awk -v hex="#$1" 'toupper($3) == hex { sub(":", "", $1); n += $1 } END { print n + 0 }' \
        <<<"$histogram"
}
failed=0
expect() { # RRGGBB minimum what
    local n
    n=$(count "$1")
    if [ "$n" -ge "$2" ]; then
        echo "ok   $3 #$1: $n pixels"
    else
        echo "FAIL $3 #$1: $n pixels, expected at least $2" >&2
        failed=1
    fi
}
expect FFF0F0 300 "column 0 (255,240,240)"
expect E4CBD8 300 "column 1 (228,203,216)"
expect F9CDB2 300 "column 2 (249,205,178)"
expect F7EFBA 150 "column 3 (247,239,186)"
expect CCE9CE 300 "column 4 (204,233,206)"
expect 88FFC4 150 "column 5 (136,255,196)"
expect ABC7EB 400 "header row 0 (171,199,235)"
expect A3BFE3 400 "header row 1 (163,191,227)"
expect 9BB7DB 400 "header row 2 (155,183,219)"
expect FF0000 300 "clock lit (255,0,0)"
expect 800000 300 "clock unlit (128,0,0)"
expect CAE1F3 2000 "status line ground (202,225,243)"
exit $failed
