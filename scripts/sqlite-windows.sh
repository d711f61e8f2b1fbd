#!/usr/bin/env bash
# Prepares the SQLite the Windows cross builds compile in: the amalgamation (sqlite3.c,
# sqlite3.h) made from Debian's own sqlite3 source package, with Debian's patches applied, so
# that both builds run the same SQLite release. Fetched once through apt (deb-src entries are
# added beside the machine's Debian sources when it has none) and kept in a cache folder: a
# later run finds the same version there and fetches nothing. The build reads the folder named
# by TESSARY_SQLITE_SOURCE (the same default as here).
# usage: sqlite-windows.sh [FOLDER]
set -euo pipefail
dest=${1:-${TESSARY_SQLITE_SOURCE:-${XDG_CACHE_HOME:-$HOME/.cache}/tessary/sqlite3}}
SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo

# The version the machine's sources offer; without deb-src entries apt knows none.
source_version() {
  { apt-cache showsrc sqlite3 2>/dev/null || true; } | sed -n 's/^Version: //p' | sort -V | tail -n 1
}

version=$(source_version)
if [ -n "$version" ] && [ -f "$dest/sqlite3.c" ] && [ "$(cat "$dest/VERSION" 2>/dev/null)" = "$version" ]; then
  exit 0
fi

if [ -z "$version" ]; then
  # Source entries for the suites the machine installs from, in the form its sources use.
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types:.*$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
      $SUDO tee /etc/apt/sources.list.d/tessary-deb-src.sources >/dev/null
  elif [ -f /etc/apt/sources.list ] && grep -q '^deb ' /etc/apt/sources.list; then
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list |
      $SUDO tee /etc/apt/sources.list.d/tessary-deb-src.list >/dev/null
  else
    echo "sqlite-windows.sh: no Debian sources found to add deb-src entries beside" >&2
    exit 1
  fi
  # A list that fails to download (a mirror in sync) need not be the source list: what
  # matters is whether apt then knows the source package.
  $SUDO apt-get -o DPkg::Lock::Timeout=900 update || true
  version=$(source_version)
  [ -n "$version" ] || { echo "sqlite-windows.sh: apt knows no sqlite3 source package" >&2; exit 1; }
  if [ -f "$dest/sqlite3.c" ] && [ "$(cat "$dest/VERSION" 2>/dev/null)" = "$version" ]; then
    exit 0
  fi
fi

# apt-get source unpacks with dpkg-source; the amalgamation is made by the source's own
# Makefile, whose generators are Tcl scripts (deps-windows.sh installs both).
for tool in dpkg-source tclsh; do
  command -v "$tool" >/dev/null || { echo "sqlite-windows.sh: $tool is missing: run scripts/deps-windows.sh" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "-- preparing SQLite $version for the Windows builds in $dest"
(cd "$work" && apt-get source -qq "sqlite3=$version" >/dev/null)
tree=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'sqlite3-*' | head -n 1)
[ -n "$tree" ] || { echo "sqlite-windows.sh: apt-get source left no sqlite3 folder" >&2; exit 1; }
mkdir "$work/make"
(cd "$work/make" && "$tree/configure" --disable-tcl >/dev/null && make -s sqlite3.c >/dev/null)
# Written beside the cache, then moved in whole: an interrupted run leaves no half folder.
rm -rf "$dest.new" && mkdir -p "$dest.new"
cp "$work/make/sqlite3.c" "$work/make/sqlite3.h" "$dest.new/"
cp "$tree/LICENSE.md" "$dest.new/" 2>/dev/null || true
echo "$version" >"$dest.new/VERSION"
rm -rf "$dest" && mv "$dest.new" "$dest"
