#!/usr/bin/env bash
# Runs each fuzz target of a fuzz build for a bounded time.
#   tests/fuzz/run.sh BUILD_DIR SECONDS [TARGET...]
# New inputs go to BUILD_DIR/fuzz-corpus/<target>, crashes and hangs to
# BUILD_DIR/fuzz-artifacts/; the seed corpus in the source tree is only read.
set -euo pipefail
build=$1
seconds=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
targets=("$@")
[ "${#targets[@]}" -gt 0 ] || targets=(setting_file response_data delimited_data fixed_profile prior_item_use fraction)

# The targets write each input to a file: keep those files in memory.
if [ -z "${TMPDIR:-}" ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi

status=0
for t in "${targets[@]}"; do
  work="$build/fuzz-corpus/$t"
  artifacts="$build/fuzz-artifacts/$t"
  mkdir -p "$work" "$artifacts"
  log="$build/fuzz-$t.log"
  echo "== fuzz_$t for ${seconds}s"
  if "$build/tests/fuzz/fuzz_$t" "$work" "$here/corpus/$t" -max_total_time="$seconds" \
      -timeout=10 -rss_limit_mb=2048 -max_len=8192 -artifact_prefix="$artifacts/" -print_final_stats=1 \
      >"$log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^Done' "$log" || true
  else
    status=1
    echo "fuzz_$t FAILED; log: $log, inputs: $artifacts" >&2
    grep -E 'ERROR|SUMMARY|runtime error' "$log" | head -5 >&2 || true
  fi
done
exit $status
