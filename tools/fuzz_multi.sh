#!/usr/bin/env bash
# Builds the MULTI parser's libFuzzer target with clang and runs it.
#   tools/fuzz_multi.sh [seconds] [libFuzzer options...]
# Default 300 seconds. The whole display library and what it stands on are
# built with coverage and the sanitizers (build/multi-fuzz); the corpus and
# any crash files stay under build/multi-fuzz/run/. A crash, a sanitizer
# report or a broken parser invariant stops the run with a non-zero status.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-300}
[ $# -gt 0 ] && shift

# clang and its fuzzer runtime (Debian: clang, libclang-rt-14-dev).
if ! command -v clang++ >/dev/null || ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 \
   || ! echo 'int main(){}' | clang++ -fsanitize=fuzzer-no-link -x c++ - -o /dev/null 2>/dev/null; then
  echo "installing clang and its fuzzer runtime"
  SUDO=$( [ "$(id -u)" -eq 0 ] || echo sudo )
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y clang libclang-rt-14-dev \
    || DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y clang libclang-rt-dev
fi

build=build/multi-fuzz
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -O1 -g"
cmake -S . -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DSIGN_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
cmake --build "$build" -j"$(nproc)" --target multi_fuzz

run="$build/run"
mkdir -p "$run/corpus" "$run/crashes"
# Seeds: one configuration byte (a full-matrix sign) and a MULTI text each.
i=0
while IFS= read -r text; do
  printf '\000%s' "$text" >"$run/corpus/seed_$i"
  i=$((i + 1))
done <<'SEEDS'
[jl3]AB[nl]C
[[ABC]]
A[np]B[np]C[np]D[np]E[np]F[np]G
[fo2]WIDE[nl][fo3,1234]X[/fl][flt5o5]FLASH[/fl]
[mvcl50,2,5,MOVING [fo2]TEXT]AFTER
[tr1,1,48,16][jp2]TOP[tr49,17,0,0][jp4][jl4]BOTTOM
[cr1,1,0,0,9][cr10,5,3,2,255,255,0][pb1,2,3]
[g7][g7,2,3][g7,1,1,1234]
[f1][f2][f3,2][f7,5][f12][f92][f99]
[ms11,xy,5,9]A[ms11,gpo,3,1][ms11,spm,1,12][ms11,r,10,20][ms11,g,1,1,a.bmp]
[hc41][sc3]A[/sc][pt5o6][po][pto]
SEEDS

cd "$run"
exec ../display/multi_fuzz -max_total_time="$seconds" -max_len=3100 -timeout=10 -rss_limit_mb=4096 \
  -dict=../../../display/fuzz/multi.dict -artifact_prefix=crashes/ -print_final_stats=1 "$@" corpus
