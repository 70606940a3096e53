#!/usr/bin/env bash
# Installs the Debian packages Quillbox needs to build, run and test, where missing;
# "package" adds what building the Debian package needs, "package-check" what checking it does.
set -euo pipefail

packages=(
  cmake ninja-build g++ binutils pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6sql6-sqlite libqt6sql6-psql qt6-qpa-plugins
  libgtest-dev libgmock-dev
  fonts-dejavu-core sqlite3 libsqlite3-dev rapidjson-dev
  postgresql dbus-daemon
)
case ${1:-} in
  package) packages+=(dpkg-dev file) ;;
  package-check) packages+=(dpkg-dev file lintian desktop-file-utils appstream) ;;
esac

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
if [[ $(id -u) -ne 0 ]]; then
  if command -v sudo >/dev/null; then
    as_root=(sudo)
  else
    echo "These packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
