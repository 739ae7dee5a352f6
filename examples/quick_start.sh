#!/usr/bin/env bash
# Builds tervox and tervox-view (the release preset) and grids the bundled
# example survey into survey.vol and survey.vol.mesh in the current folder.
# Installs what a fresh Debian 12 machine lacks to build them (needs root or
# sudo); tervox-view's optional libraries are left to the user.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

packages=(g++ cmake make nlohmann-json3-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo_cmd=()
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi

(cd "$root" && cmake --workflow --preset release)
"$root/build/release/driver/tervox" "$root/examples/survey.txt" survey.vol 25 25 1
