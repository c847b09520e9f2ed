#!/usr/bin/env bash
# Builds the SNMP message decoder's libFuzzer target with clang and runs it.
#   tools/fuzz_snmp.sh [seconds] [libFuzzer options...]
# Default 300 seconds. Seeds come from the golden messages of the tests; the
# corpus and any crash files stay under build/fuzz/. A crash or a decode that
# does not re-encode to the same record stops the run with a non-zero status.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-300}
[ $# -gt 0 ] && shift

# clang and its fuzzer runtime (Debian: clang, libclang-rt-dev).
if ! command -v clang++ >/dev/null || ! echo 'int main(){}' | clang++ -fsanitize=fuzzer-no-link -x c++ - -o /dev/null 2>/dev/null \
   || ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
  echo "installing clang and its fuzzer runtime"
  SUDO=$( [ "$(id -u)" -eq 0 ] || echo sudo )
  $SUDO apt-get update && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y clang libclang-rt-dev
fi

out=build/fuzz
mkdir -p "$out/corpus" "$out/crashes"
clang++ -std=c++20 -g -O1 -I. \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer \
  ntcip/fuzz/snmp_fuzz.cc ntcip/snmp/*.cpp -o "$out/snmp_fuzz"

# Seed the corpus with the golden messages (hex string literals of the header).
python3 - "$out/corpus" <<'PY'
import re, sys, pathlib
text = re.sub(r"//[^\n]*", "", pathlib.Path("ntcip/tests/snmp_golden.h").read_text())
for name, body in re.findall(r'(k\w+) =[^"]*((?:"[^"]*"\s*)+);', text):
    data = bytes.fromhex("".join(re.findall(r'"([^"]*)"', body)).replace(" ", ""))
    (pathlib.Path(sys.argv[1]) / ("seed_" + name)).write_bytes(data)
PY

# From the output folder, so that the logs of -jobs=N land there too.
cd "$out"
exec ./snmp_fuzz -max_total_time="$seconds" -max_len=3000 -timeout=10 -rss_limit_mb=4096 \
  -artifact_prefix=crashes/ -print_final_stats=1 "$@" corpus
