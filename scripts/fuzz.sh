#!/usr/bin/env bash
# Runs each libFuzzer target of build/fuzz for the given seconds from its seed corpus. Any crash input
# is copied into tests/fuzz/regressions/<target>/, where the replay tests run it from then on; commit it.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
failed=0
for target in decipher unpack snapshot_parse library_image; do
  work=build/fuzz/run/$target
  rm -rf "$work"
  mkdir -p "$work/corpus"
  echo "fuzz_$target: $seconds s"
  if ! build/fuzz/tests/fuzz/fuzz_$target -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
      -print_final_stats=0 -artifact_prefix="$work/" "$work/corpus" "tests/fuzz/corpus/$target" \
      >"$work/log" 2>&1; then
    mkdir -p "tests/fuzz/regressions/$target"
    for artifact in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
      [ -e "$artifact" ] && cp "$artifact" "tests/fuzz/regressions/$target/"
    done
    tail -n 30 "$work/log"
    echo "fuzz_$target failed; its input is kept in tests/fuzz/regressions/$target/"
    failed=1
  else
    grep -E '^Done' "$work/log" || true
  fi
done
exit $failed
