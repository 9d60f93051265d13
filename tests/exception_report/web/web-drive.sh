#!/bin/sh
# map|unmap BUILD_DIR: maps drive W: of the tree's Wine prefix to a folder
# of the build, or removes both. The prefix is the one the tests run in.
set -eu
build="$2"
prefix="${WINEPREFIX:-$build/wineprefix}"
folder="$build/web-drive"
link="$prefix/dosdevices/w:"
case "$1" in
  map)
    # Wine makes the prefix's own drives only in a prefix it makes itself.
    if [ ! -d "$prefix/dosdevices" ]; then
      BRX_BUILD_DIR="$build" "$(dirname "$0")/../../../scripts/wine-run" cmd /c exit >/dev/null 2>&1 || true
    fi
    rm -rf "$folder"
    mkdir -p "$folder"
    ln -sfn "$folder" "$link"
    ;;
  unmap)
    rm -f "$link"
    rm -rf "$folder"
    ;;
  *)
    echo "usage: $0 map|unmap BUILD_DIR" >&2
    exit 2
    ;;
esac
