#!/usr/bin/env bash
# Runs tests that depend on threads or timing many times over and counts the failing runs, to
# show that a test is stable (or how unstable it is). Each run is a fresh process.
# Usage: scripts/repeat-tests.sh [-n runs] [-j jobs] [-b build dir] [binary:Suite.Test ...]
#   runs default 300, jobs default 1, build dir default build/default; without tests, the list
#   below (the tests whose outcome hangs on the order of events between threads or processes).
# Build the tests first (scripts/test.sh or cmake --build --preset default). Prints one line per
# test: failures/runs, and the first failing run's output lands in build dir/repeat/.
set -uo pipefail
cd "$(dirname "$0")/.."

runs=300
jobs=1
build=build/default
while getopts "n:j:b:" opt; do
  case $opt in
    n) runs=$OPTARG ;;
    j) jobs=$OPTARG ;;
    b) build=$OPTARG ;;
    *) sed -n 4,6p "$0" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))

tests=("$@")
if [ ${#tests[@]} -eq 0 ]; then
  tests=(
    tessel_protocol_transport_tests:TransportTest.SecondMismatchEndsAfterExactlyTwoReads
    tessel_protocol_transport_tests:TransportTest.FrameChunksAreDroppedWhileAnotherTransactionRuns
    tessel_protocol_transport_tests:TransportTest.EachCommandHoldsItsOwnLock
    tessel_protocol_transport_tests:TransportTest.EachRouteAndFramesUseTheirOwnTimeOut
    tessel_protocol_transport_tests:TransportTest.OnlyAWholeCommandReportIsAReply
    tessel_protocol_transport_tests:SimTransportTest.InjectedFaultsGiveTheirCodeWithinTheTimeOut
    tessel_sim_tests:SimulatorTest.FaultsAffectTheNextMatchingReplies
    tessel_hid_tests:Backends/ChannelTransfer.CloseOrReopenReleasesAReaderWaitingForever/simulator
  )
fi

export QT_QPA_PLATFORM=offscreen
logs="$build/repeat"
mkdir -p "$logs"
status=0
for spec in "${tests[@]}"; do
  binary=$build/bin/${spec%%:*}
  filter=${spec#*:}
  if [ ! -x "$binary" ]; then
    echo "$filter: $binary is not built" >&2
    status=1
    continue
  fi
  # One line per run: its number and exit status; runs share nothing but the machine.
  # Parameterised names hold "/" (Suite/Param.Test/0): the log's file name uses a safe form.
  # A run in which the filter matched no test counts as failed (status 99), not as passed.
  logname=$(printf '%s' "$filter" | tr -c 'A-Za-z0-9_.-' '_')
  results=$(seq 1 "$runs" | xargs -P "$jobs" -I{} sh -c \
    '"$0" --gtest_filter="$1" >"$2/$3.{}.log" 2>&1; rc=$?
     [ $rc -eq 0 ] && grep -q "^\[==========\] 0 tests" "$2/$3.{}.log" && rc=99
     echo "{} $rc"; [ $rc -eq 0 ] && rm -f "$2/$3.{}.log"; exit 0' \
    "$binary" "$filter" "$logs" "$logname")
  failed=$(awk '$2 != 0' <<<"$results" | wc -l)
  echo "$filter: $failed failed of $runs"
  if [ "$failed" -ne 0 ]; then
    status=1
    first=$(awk '$2 != 0 {print $1; exit}' <<<"$results")
    echo "  first failing run's output: $logs/$logname.$first.log"
  fi
done
exit $status
