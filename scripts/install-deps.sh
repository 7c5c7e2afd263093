#!/bin/sh
# Installs the Debian packages of scripts/packages.txt that are missing.
# Runs as root, or through sudo for a user who has it.
set -eu
here=$(dirname "$0")
missing=""
for pkg in $(grep -v '^#' "$here/packages.txt"); do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    case "$status" in
        *"install ok installed"*) ;;
        *) missing="$missing $pkg" ;;
    esac
done
[ -z "$missing" ] && exit 0
echo "Installing missing packages:$missing"
if [ "$(id -u)" -eq 0 ]; then
    as_root=""
elif command -v sudo >/dev/null 2>&1; then
    as_root="sudo"
else
    echo "Missing packages:$missing; run this as root or install sudo." >&2
    exit 1
fi
$as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
$as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
