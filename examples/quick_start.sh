#!/usr/bin/env bash
# Builds tervox and tervox-view (the release preset) and grids the bundled
# example survey into survey.vol and survey.vol.mesh in the current folder.
# Installs what a fresh Debian 12 machine lacks to build them (needs root or
# sudo); tervox-view's optional libraries are left to the user.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

source "$root/examples/install_missing.sh"
install_missing g++ cmake make nlohmann-json3-dev

(cd "$root" && cmake --workflow --preset release)
"$root/build/release/driver/tervox" "$root/examples/survey.txt" survey.vol 25 25 1
