#!/usr/bin/env bash
# The SNMP message codec's fuzz target: tools/fuzz_snmp.sh [seconds] [libFuzzer options...]
exec "$(dirname "$0")/fuzz.sh" snmp_fuzz "$@"
