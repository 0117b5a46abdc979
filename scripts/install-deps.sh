#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that are missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  libfmt-dev libcli11-dev nlohmann-json3-dev libsqlite3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libpq-dev postgresql
  libcpp-httplib-dev libssl-dev openssl libsodium-dev chromium fonts-noto-cjk nodejs poppler-utils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -q
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# npm only where the system's node came without it.
if ! command -v npm >/dev/null 2>&1; then
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends npm
fi
# The browser driver of the dialog's tests, into the tests' own folder; it
# drives the system chromium and downloads no browser.
web_tests="$(cd "$(dirname "$0")/.." && pwd)/tests/web"
if [ ! -d "$web_tests/node_modules/puppeteer-core" ]; then
  (cd "$web_tests" && PUPPETEER_SKIP_DOWNLOAD=1 npm install --no-audit --no-fund --loglevel=error)
fi
