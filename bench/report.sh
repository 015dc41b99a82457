#!/usr/bin/env bash
# Runs the benchmark once and writes bench/RESULTS.md with the machine's facts.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=build-bench/bench/zar_bench
out=bench/RESULTS.md
table=$(mktemp)
"$bin" "${BENCH_SECONDS:-0.5}" | tee "$table"
{
  echo "# zar against OpenCV"
  echo
  echo "One run of \`make bench-report\` on this machine. Median wall time per call at 1920x1080,"
  echo "zar and OpenCV called alternately in one process, both single-threaded. Ratio below 1"
  echo "means zar is faster. The memcpy column is the physical floor for point operations."
  echo
  echo "- processor: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //')"
  echo "- compiler: $(${CXX:-c++} --version | head -1)"
  # The level the kernel tables pick (src/frame/cpu.cpp): the highest the processor has.
  flags=$(grep -m1 '^flags' /proc/cpuinfo)
  has() { [[ " $flags " == *" $1 "* ]]; }
  if has avx512f && has avx512bw && has avx512vl; then isa="AVX-512 (F+BW+VL)"
  elif has avx2; then isa="AVX2"
  elif has sse4_1; then isa="SSE4.1"
  else isa="plain C++ (SSE2 where written in)"; fi
  echo "- kernels: $isa"
  echo "- OpenCV: $(pkg-config --modversion opencv4 2>/dev/null || echo unknown)"
  echo "- date: $(date -u +%Y-%m-%d)"
  echo
  tail -n +2 "$table"
  if [ -f bench/NOTES.md ]; then echo; cat bench/NOTES.md; fi
} > "$out"
rm -f "$table"
echo "wrote $out"
