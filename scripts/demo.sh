#!/usr/bin/env bash
# The demo: runs both programs on a small sample.  Filled in as the drivers land.
set -euo pipefail
BUILD=${1:-build}
echo "drift demo: build in $BUILD"
