#!/usr/bin/env bash
# The main job: shows the library at work on the sample files.
set -euo pipefail
build=${1:-build/default}
"$build/bin/dirira" about
