#!/usr/bin/env bash
# End-to-end check of late answers: loops `kadex-cli read` and `kadex-cli read --all --json`
# against kadex-sim on a pseudo-terminal with a late-answer fault, and compares every output that
# ended with exit 0 with the output of the same command on a fault-free simulator. Prints the
# counts; exits 1 when any wrong output was accepted.
#
# Usage: scripts/late_answers_e2e.sh [RUNS=300] [FAULT="1 delay @0.06 600 1400"] [SIM_ARGS...]
#   BIN (default build/bin) holds kadex-cli and kadex-sim; KADEX_TIME_RATE (default 10) runs
#   every timeout, guard and delay that many times faster on both sides.
set -u
RUNS=${1:-300}
FAULT=${2:-"1 delay @0.06 600 1400"}
shift $(( $# > 2 ? 2 : $# ))
BIN=${BIN:-build/bin}
export KADEX_TIME_RATE=${KADEX_TIME_RATE:-10}
WORK=$(mktemp -d)
trap 'exec 3>&- 4>&- 2>/dev/null; kill $REF_PID $SIM_PID 2>/dev/null; wait 2>/dev/null; rm -rf "$WORK"' EXIT

start_sim() { # FD name args... ; sets PID and PTY of the simulator, its input open on FD
    local fd=$1 name=$2; shift 2
    mkfifo "$WORK/$name.in"
    eval "exec $fd<>\"$WORK/$name.in\""
    "$BIN/kadex-sim" --seed 31 "$@" <"$WORK/$name.in" >"$WORK/$name.out" 2>"$WORK/$name.err" &
    PID=$!
    for _ in $(seq 100); do
        PTY=$(sed -n 's/^PTY //p' "$WORK/$name.out" | head -n 1)
        [ -n "$PTY" ] && return 0
        sleep 0.1
    done
    echo "kadex-sim did not start: $(cat "$WORK/$name.err")" >&2
    exit 2
}

REF_PID= SIM_PID=
start_sim 3 ref "${@}"
REF_PID=$PID REF_PTY=$PTY
start_sim 4 sim --fault "$FAULT" "${@}"
SIM_PID=$PID SIM_PTY=$PTY

declare -A expected
for args in "read" "read --all --json"; do
    # shellcheck disable=SC2086
    if ! expected[$args]=$("$BIN/kadex-cli" --port "$REF_PTY" $args 2>/dev/null); then
        echo "the fault-free run of '$args' failed" >&2
        exit 2
    fi
done

ok=0 same=0 wrong=0 failed=0
declare -A exits reasons
for ((i = 0; i < RUNS; i++)); do
    args="read"
    ((i % 2)) && args="read --all --json"
    # shellcheck disable=SC2086
    out=$("$BIN/kadex-cli" --port "$SIM_PTY" $args 2>"$WORK/last.err")
    rc=$?
    exits[$rc]=$(( ${exits[$rc]:-0} + 1 ))
    if [ $rc -eq 0 ]; then
        ok=$((ok + 1))
        if [ "$out" == "${expected[$args]}" ]; then
            same=$((same + 1))
        else
            wrong=$((wrong + 1))
            echo "run $i ($args): exit 0 with an output that differs from the fault-free run:" >&2
            diff <(echo "${expected[$args]}") <(echo "$out") | head -n 10 >&2
        fi
    else
        failed=$((failed + 1))
        why=$(grep -m 1 "^kadex-cli:" "$WORK/last.err" | sed 's/kadex-cli: //')
        reasons[$why]=$(( ${reasons[$why]:-0} + 1 ))
    fi
done

printf 'runs %d (fault "%s", time rate %s): exit 0 %d (equal to the fault-free run %d, different %d), failed %d;' \
    "$RUNS" "$FAULT" "$KADEX_TIME_RATE" "$ok" "$same" "$wrong" "$failed"
printf ' exit codes:'
for rc in "${!exits[@]}"; do printf ' %s:%s' "$rc" "${exits[$rc]}"; done
printf '\n'
for why in "${!reasons[@]}"; do printf '  %4d x %s\n' "${reasons[$why]}" "$why"; done
[ $wrong -eq 0 ]
