#!/usr/bin/env bash
# Installs the Debian packages named on the command line that are missing.
# Without root it only reports what is missing and leaves the rest to the build.
set -euo pipefail
missing=()
for pkg in "$@"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: not root; missing Debian packages: ${missing[*]}" >&2
  exit 0
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# Packages of another architecture (wine32:i386 for the 32-bit Windows
# tests) need that architecture enabled before the package lists are read.
for pkg in "${missing[@]}"; do
  case $pkg in
    *:*) dpkg --print-foreign-architectures | grep -qx "${pkg##*:}" || dpkg --add-architecture "${pkg##*:}" ;;
  esac
done
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
