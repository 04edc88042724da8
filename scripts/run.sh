#!/usr/bin/env bash
# Starts the example site on 127.0.0.1:8808 in the background, runs the program
# on data/, and stops the site when the program ends. A site already serving on
# that port (another copy) is left alone and used.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
site_pid=
"$build/pagrim-demosite" 8808 &
site_pid=$!
trap '[ -n "$site_pid" ] && kill "$site_pid" 2>/dev/null || true' EXIT
cd data
"../$build/pagrim"
