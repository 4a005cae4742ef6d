#!/usr/bin/env bash
# shellcheck disable=SC2016 # conditions are handed to bench_wait_until unexpanded
# The run's lock under Wine: the administrators' private namespace, which Wine lacks, answers
# Unsupported and the program goes on; the global mutex is taken, found held by another run, taken
# again once that run was killed, and refused without a wait when another account made it first.
set -uo pipefail
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"

CHECK="$BUILD_DIR/tests/wine/platform_check/platform_check.exe"
bench_require_built "$CHECK"
bench_start

lock() { bench_wine_text "$CHECK" "$@" 2>>"$BENCH_WINE_LOG"; }
# Runs platform_check ARGS... in the background until it prints WORD; release() kills it.
hold() {
    local word=$1
    shift
    bench_wine "$CHECK" "$@" >"$BENCH_TMP/held" 2>>"$BENCH_WINE_LOG" &
    holder=$!
    bench_wait_until "grep -q '^$word' \"\$BENCH_TMP/held\"" 30
}
release() {
    bench_probe kill platform_check.exe >/dev/null
    wait "$holder"
}

echo "== the administrators' namespace"
bench_expect_eq "no private namespaces under Wine, and the program lives on" "Unsupported alive" \
    "$(lock namespace-lock 'Compact And Repair run')"

echo "== the global lock"
name='Global\Compact And Repair run'
bench_expect_eq "a free lock" "Taken" "$(lock global-lock "$name")"
bench_expect "another run takes it" hold Taken global-lock "$name" hold
bench_expect_eq "held by that run" "HeldByAnother" "$(lock global-lock "$name")"
release
bench_expect_eq "taken again once that run was killed" "Taken" "$(lock global-lock "$name")"

echo "== a name someone else made first"
# Each case: the made mutex's owner and access list, then what an attempt finds.
while IFS='|' read -r sddl wanted what; do
    bench_expect "made first: $what" hold squatting squat "$name" "$sddl"
    bench_expect_eq "$what" "$wanted" "$(lock global-lock "$name")"
    release
done <<'EOF'
O:SYD:P(A;;GA;;;SY)(A;;GA;;;BA)|Taken|owned by SYSTEM: a run's
O:BUD:(A;;GA;;;WD)|ForeignOwner BUILTIN\Users|owned by the users group, open to all
O:BUD:P|ForeignOwner BUILTIN\Users|owned by the users group, shut to administrators
O:S-1-5-21-1-2-3-1001D:P|ForeignOwner |shut to all, its owner unreadable
|ForeignOwner |without an owner (Wine's default)
EOF

bench_finish
