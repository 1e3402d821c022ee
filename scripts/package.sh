#!/usr/bin/env bash
# Packs what users install: the Windows zip and, beside it, the Linux tools and reference sink.
#
# Usage: scripts/package.sh [NATIVE_BUILD [WINDOWS_BUILD [OUT_DIR]]]
#   defaults: build/linux build/windows build/package (both trees already built)
# Writes OUT_DIR/velmora-VERSION-win64.zip and OUT_DIR/velmora-VERSION-linux-x86_64.tar.gz, each
# holding one folder of that name. What goes in is listed in packaging/*.files; INSTALL.txt is
# packaging/INSTALL.txt with the version filled in and each "@FILE" line kept only when FILE
# is in the package.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
native=$(realpath "${1:-$root/build/linux}")
windows=$(realpath "${2:-$root/build/windows}")
out=$(realpath -m "${3:-$root/build/package}")
version=$(sed -n 's/^project(Velmora VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")

# stage LIST BUILD FOLDER STRIP: copies the listed files of BUILD into FOLDER, stripped.
stage() {
  local list=$1 build=$2 folder=$3 strip=$4 line optional file
  mkdir -p "$folder"
  while read -r line; do
    case "$line" in ''|'#'*) continue ;; esac
    optional=0
    if [ "${line:0:1}" = "?" ]; then optional=1; line=${line:1}; line=${line# }; fi
    file="$build/$line"
    if [ ! -f "$file" ]; then
      [ $optional -eq 1 ] && continue
      echo "package: $file is missing (build it first: make build)" >&2; return 1
    fi
    cp "$file" "$folder/"
    case "$file" in *.inf|*.txt) ;; *) "$strip" --strip-debug "$folder/$(basename "$file")" ;; esac
  done <"$list"
}

# text TEMPLATE FOLDER: the template for the files of FOLDER, with CR LF line ends.
text() {
  local template=$1 folder=$2 line name
  while IFS= read -r line; do
    if [ "${line:0:1}" = "@" ]; then
      name=${line%% *}; name=${name:1}
      [ -f "$folder/$name" ] || continue
      line=${line#"@$name"}
    fi
    printf '%s\r\n' "${line//@VERSION@/$version}"
  done <"$template"
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

win="velmora-$version-win64"
stage "$root/packaging/win64.files" "$windows" "$work/$win" x86_64-w64-mingw32-strip
text "$root/packaging/INSTALL.txt" "$work/$win" >"$work/$win/INSTALL.txt"
rm -f "$out/$win.zip"
(cd "$work" && cmake -E tar cf "$out/$win.zip" --format=zip "$win")

lin="velmora-$version-linux-x86_64"
stage "$root/packaging/linux.files" "$native" "$work/$lin" strip
text "$root/packaging/README-linux.txt" "$work/$lin" | tr -d '\r' >"$work/$lin/README.txt"
(cd "$work" && tar czf "$out/$lin.tar.gz" "$lin")

echo "package: $out/$win.zip"
echo "package: $out/$lin.tar.gz"
