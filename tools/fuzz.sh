#!/usr/bin/env bash
# Builds every fuzz target with clang (libFuzzer, ASan, UBSan) and runs one or all.
#   tools/fuzz.sh list                      names of the targets
#   tools/fuzz.sh build                     build them all, run none
#   tools/fuzz.sh <name|all> [seconds] [libFuzzer options...]
# Default 300 seconds per target. A target's seeds are <folder>/fuzz/seeds/<name>/
# in the repository (inputs may grow to the largest seed or 4 KB); the growing
# corpus and any crash files stay under build/fuzz/run/<name>/. A crash or sanitizer report stops with a non-zero status.
set -euo pipefail
cd "$(dirname "$0")/.."

targets() { find . -path ./build -prune -o -type d -path '*/fuzz/seeds/*' -print | sort | sed 's|^\./||'; }
dir_of() { targets | grep "/fuzz/seeds/$1\$" | sed 's|/fuzz/seeds/.*||'; }

what=${1:-all}
[ $# -gt 0 ] && shift
if [ "$what" = list ]; then targets | sed 's|.*/||'; exit 0; fi
seconds=${1:-300}
[ $# -gt 0 ] && shift

# clang and its fuzzer runtime (Debian: clang, libclang-rt-dev).
if ! command -v clang++ >/dev/null || ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 \
   || ! echo 'int main(){}' | clang++ -fsanitize=fuzzer-no-link -x c++ - -o /dev/null 2>/dev/null; then
  echo "installing clang and its fuzzer runtime"
  SUDO=$( [ "$(id -u)" -eq 0 ] || echo sudo )
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y clang libclang-rt-dev \
    || DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y clang libclang-rt-14-dev
fi

# Every library the targets stand on is built with coverage and the sanitizers.
build=build/fuzz
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -O1 -g"
cmake -S . -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DSIGN_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
if [ "$what" = all ] || [ "$what" = build ]; then
  names=$(targets | sed 's|.*/||')
else
  [ -n "$(dir_of "$what")" ] || { echo "no fuzz target $what (tools/fuzz.sh list)" >&2; exit 2; }
  names=$what
fi
# shellcheck disable=SC2086
cmake --build "$build" -j"${FUZZ_JOBS:-3}" --target $names
[ "$what" = build ] && exit 0

status=0
for name in $names; do
  dir=$(dir_of "$name")
  run="$build/run/$name"
  mkdir -p "$run/corpus" "$run/crashes"
  cp -n "$dir/fuzz/seeds/$name/"* "$run/corpus/" 2>/dev/null || true
  dict=()
  for d in "$dir/fuzz/${name%_fuzz}.dict" "$dir/fuzz/$name.dict"; do
    [ -f "$d" ] && dict=(-dict="$PWD/$d")
  done
  echo "== $name ($seconds s)"
  # From the run folder, so that the logs of -jobs=N land there too.
  (cd "$run" && "$OLDPWD/$build/$dir/$name" -max_total_time="$seconds" -timeout=10 \
     -rss_limit_mb=4096 "${dict[@]}" -artifact_prefix=crashes/ -print_final_stats=1 "$@" corpus) || status=1
done
exit $status
