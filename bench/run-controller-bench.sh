#!/usr/bin/env bash
# Runs controller_bench inside a private network namespace: the controller on zeb0
# (192.0.2.1), 50 device addresses (192.0.2.10 .. 192.0.2.59) on its peer.
#   bench/run-controller-bench.sh build/bench/controller_bench [benchmark args...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
devices=$(for i in $(seq 10 59); do printf '192.0.2.%d/24+' "$i"; done)
exec "$here/../tests/netns-run" --veth "zeb0=192.0.2.1/24,${devices%+}" "$@"
