#!/usr/bin/env bash
# Installs canboat's decoder for the peer check into DIR (a folder of the build), at
# the versions package-lock.json pins; does nothing when that lock is installed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dir=$1
mkdir -p "$dir"
if [ -d "$dir/node_modules/@canboat/canboatjs" ] && cmp -s "$here/package-lock.json" "$dir/package-lock.json"; then
  exit 0
fi
cp "$here/package.json" "$here/package-lock.json" "$dir/"
# No install scripts: they only build the SocketCAN add-on, which the check does not use.
cd "$dir" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error
