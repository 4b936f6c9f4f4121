#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian machine, and
# nothing that is already there. Safe to run again.
set -euo pipefail

packages=(cmake ninja-build g++ ccache libgtest-dev libgmock-dev libbenchmark-dev
          libsqlite3-dev sqlite3 libpq-dev postgresql clang libclang-rt-14-dev
          qt6-base-dev fonts-dejavu-core pkgconf pgpool2)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""
  [[ $(id -u) -ne 0 ]] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
