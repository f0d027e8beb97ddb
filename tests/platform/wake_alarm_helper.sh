#!/usr/bin/env bash
# horalet-wakealarm as root against a fake real-time clock: a tmpfs over /sys/class in a
# mount namespace of its own, so the machine's own clock is never touched.
# usage: wake_alarm_helper.sh <horalet-wakealarm>   (exit 77: not root, or no namespaces)
set -uo pipefail
helper=$(realpath "$1")
if [ -z "${HORALET_IN_NAMESPACE:-}" ]; then
    [ "$(id -u)" -eq 0 ] || { echo "not root: skipped" >&2; exit 77; }
    unshare -m --propagation private true 2>/dev/null || { echo "no mount namespace: skipped" >&2; exit 77; }
    exec unshare -m --propagation private env HORALET_IN_NAMESPACE=1 "$0" "$@"
fi
mount -t tmpfs none /sys/class || exit 1

failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
class=/sys/class/rtc
# rtc0 has no wake alarm; rtc1 and rtc10 do: rtc1 is the one.
reset_clocks() {
    rm -rf "$class"
    mkdir -p "$class/rtc0" "$class/rtc1" "$class/rtc10"
    echo 0 >"$class/rtc1/wakealarm"
    echo 0 >"$class/rtc10/wakealarm"
}
# run <expected exit> <args...>: the helper's exit code and output
run() {
    local want=$1
    shift
    out=$("$helper" "$@" 2>/dev/null)
    code=$?
    [ "$code" -eq "$want" ] || fail "args [$*]: exit $code, expected $want"
}

reset_clocks
now=$(date +%s)
good=$((now + 3600))
run 0 "$good"
[ "$(cat $class/rtc1/wakealarm)" = "$good" ] || fail "rtc1 holds $(cat $class/rtc1/wakealarm), not $good"
[ "$(cat $class/rtc10/wakealarm)" = 0 ] || fail "rtc10 was written"
[ "$(printf '%s\n' "$out" | wc -l)" -eq 1 ] && [[ "$out" == rtc1:*"$good"* ]] ||
    fail "output [$out]"
run 0 clear
[ "$(cat $class/rtc1/wakealarm)" = 0 ] || fail "clear left $(cat $class/rtc1/wakealarm)"
[[ "$out" == rtc1:* ]] || fail "clear output [$out]"

# Refused, and nothing written: the value standing stays.
echo 4242 >"$class/rtc1/wakealarm"
run 2
run 2 $((now + 30))
run 2 $((now + 367 * 86400))
run 2 -$good
run 2 +$good
run 2 abc
run 2 "${good}x"
run 2 " $good"
run 2 ""
run 2 "$good" "$good"
run 2 clear now
run 2 /sys/class/rtc/rtc1/wakealarm
run 2 --help
run 2 CLEAR
[ "$(cat $class/rtc1/wakealarm)" = 4242 ] || fail "a refused argument wrote $(cat $class/rtc1/wakealarm)"

# A clock that cannot be written.
rm "$class/rtc1/wakealarm"
mkdir "$class/rtc1/wakealarm"
run 4 "$good"
run 4 clear
# No clock with a wake alarm at all, and no rtc class.
rm -rf "$class/rtc1" "$class/rtc10"
run 3 "$good"
rm -rf "$class"
run 3 clear

[ "$failures" -eq 0 ] || exit 1
echo "horalet-wakealarm: all cases as expected"
