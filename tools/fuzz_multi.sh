#!/usr/bin/env bash
# The MULTI parser's fuzz target: tools/fuzz_multi.sh [seconds] [libFuzzer options...]
exec "$(dirname "$0")/fuzz.sh" multi_fuzz "$@"
