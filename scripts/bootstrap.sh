#!/usr/bin/env bash
# Installs what building and testing HopSight needs on Debian 12, only what is
# missing, then fetches the npm packages our data tools read.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake ninja-build ccache pkg-config clang libclang-rt-14-dev
  qt6-base-dev qt6-multimedia-dev qt6-qpa-plugins
  libcurl4-openssl-dev libmaxminddb-dev mmdb-bin libcpp-httplib-dev libboost-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  iproute2 nftables traceroute iputils-ping util-linux libcap2-bin procps
  xvfb imagemagick xdotool wrk nginx-light libmaxmind-db-writer-perl curl openssl locales
  gettext fonts-noto-cjk qt6-translations-l10n
)
# Node.js may come from elsewhere than Debian; only install Debian's when there is none.
command -v npm >/dev/null 2>&1 || packages+=(nodejs npm)
sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "bootstrap: installing ${missing[*]}" >&2
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# Number text in files and wire forms is tested under a locale with a decimal
# comma (the tests compile one themselves when this is missing, more slowly).
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  echo "bootstrap: compiling the locale de_DE.UTF-8" >&2
  $sudo_cmd localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi

# npm packages that our data tools read: every tools/*/package.json.
for pkg in tools/*/package.json; do
  [ -f "$pkg" ] || continue
  d=$(dirname "$pkg")
  if [ ! -f "$d/node_modules/.installed" ] || [ "$pkg" -nt "$d/node_modules/.installed" ]; then
    (cd "$d" && npm install --no-audit --no-fund --silent && touch node_modules/.installed)
  fi
done
