#!/usr/bin/env bash
# Packs what users install: the Windows zip and, beside it, the Linux tools and reference sink.
#
# Usage: scripts/package.sh [NATIVE_BUILD [WINDOWS_BUILD [OUT_DIR]]]
#   defaults: build/linux build/windows build/package (both trees already built)
# Writes OUT_DIR/velmora-VERSION-win64.zip and OUT_DIR/velmora-VERSION-linux-x86_64.tar.gz, each
# holding one folder of that name. What goes in is listed in packaging/*.files; INSTALL.txt is
# packaging/INSTALL.txt with the version filled in.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
native=$(realpath "${1:-$root/build/linux}")
windows=$(realpath "${2:-$root/build/windows}")
out=$(realpath -m "${3:-$root/build/package}")
version=$(sed -n 's/^project(Velmora VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")

# stage LIST BUILD FOLDER STRIP: copies the listed files of BUILD into FOLDER, stripped.
stage() {
  local list=$1 build=$2 folder=$3 strip=$4 line file
  mkdir -p "$folder"
  while read -r line; do
    case "$line" in ''|'#'*) continue ;; esac
    file="$build/$line"
    if [ ! -f "$file" ]; then
      echo "package: $file is missing (build it first: make build)" >&2; return 1
    fi
    cp "$file" "$folder/"
    case "$file" in *.inf|*.txt) ;; *) "$strip" --strip-debug "$folder/$(basename "$file")" ;; esac
  done <"$list"
}

# text TEMPLATE: the template with the version filled in, with CR LF line ends.
text() {
  local line
  while IFS= read -r line; do printf '%s\r\n' "${line//@VERSION@/$version}"; done <"$1"
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

win="velmora-$version-win64"
stage "$root/packaging/win64.files" "$windows" "$work/$win" x86_64-w64-mingw32-strip
text "$root/packaging/INSTALL.txt" >"$work/$win/INSTALL.txt"
rm -f "$out/$win.zip"
(cd "$work" && cmake -E tar cf "$out/$win.zip" --format=zip "$win")

lin="velmora-$version-linux-x86_64"
stage "$root/packaging/linux.files" "$native" "$work/$lin" strip
text "$root/packaging/README-linux.txt" | tr -d '\r' >"$work/$lin/README.txt"
(cd "$work" && tar czf "$out/$lin.tar.gz" "$lin")

echo "package: $out/$win.zip"
echo "package: $out/$lin.tar.gz"
