#!/usr/bin/env bash
# Installs what is missing, builds, starts the local resolver service on a demo folder and
# then the tool. The service stops when the tool's window is closed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh run
bash scripts/make-demo.sh build/demo-files
build/bin/quillmoor-share --host 127.0.0.1 --port 18936 build/demo-files &
share_pid=$!
trap 'kill "$share_pid" 2>/dev/null || true' EXIT
build/bin/quillmoor
