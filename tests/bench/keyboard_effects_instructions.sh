#!/usr/bin/env bash
# Instructions per render step of every keyboard lighting mode, counted by callgrind: the
# difference between a run of N steps and a run of none, divided by N.
# Usage: tests/bench/keyboard_effects_instructions.sh [bin folder] [steps]
set -euo pipefail
bin=${1:-build/default/bin}
steps=${2:-2000}
count() {
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$bin/tessel_bench_keyboard_effects" "$1" "$2" 2>&1 \
    | sed -n 's/.*Collected : *\([0-9]*\).*/\1/p'
}
printf '%-5s %14s\n' mode instr/step
for mode in $(seq 0 31); do
  base=$(count "$mode" 0)
  full=$(count "$mode" "$steps")
  printf '%-5s %14d\n' "$mode" $(( (full - base) / steps ))
done
