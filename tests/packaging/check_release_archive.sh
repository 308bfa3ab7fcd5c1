#!/usr/bin/env bash
# Unpacks a release archive and checks that it holds what a technician and a host programmer
# need and nothing else, the same bytes as the build's dist folder, checksums that match, and
# a trimdesk.exe whose version is the one in the archive's name, and the operator's guide as it
# is in the sources.
#   check_release_archive.sh ARCHIVE DIST_DIR VERSION GUIDE_DIR
set -euo pipefail
archive=$1 dist=$2 version=$3 guide=$4

guide_files=$(cd "$guide" && find . -type f | sed 's|^\./|guide/|')
expected_files="HBV5.dll HBV5.lib HBV7.dll HBV7.lib INSTALL.txt SHA256SUMS hbv.h
    libHBV5.dll.a libHBV7.dll.a trimdesk.exe hbvtool.exe simulated/HBV5.dll simulated/HBV7.dll
    $guide_files"
expected_folders="simulated guide"
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
sorted_words() { tr -s ' \n' '\n\n' | sed '/^$/d' | LC_ALL=C sort | tr '\n' ' '; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && cmake -E tar xf "$archive")

folder_name=$(basename "$archive" .zip)
[ "$(ls -A "$work")" = "$folder_name" ] || fail "the archive does not hold the one folder $folder_name"
folder=$work/$folder_name

actual_files=$(cd "$folder" && find . -mindepth 1 | sed 's|^\./||' | sorted_words)
[ "$actual_files" = "$(echo "$expected_files $expected_folders" | sorted_words)" ] ||
    fail "files: $actual_files; expected: $(echo "$expected_files $expected_folders" | sorted_words)"

summed_files=$(awk '{print $2}' "$folder/SHA256SUMS" | sorted_words)
[ "$summed_files" = "$(echo "$expected_files" | tr ' ' '\n' | grep -vx SHA256SUMS | sorted_words)" ] ||
    fail "SHA256SUMS lists: $summed_files"
(cd "$folder" && sha256sum --check --quiet --strict SHA256SUMS) || fail "checksums do not match"

for file in $expected_files; do
    case $file in INSTALL.txt | SHA256SUMS) continue ;; esac
    cmp -s "$folder/$file" "$dist/$file" || fail "$file differs from the build's"
done
for file in $guide_files; do
    cmp -s "$folder/$file" "$guide/${file#guide/}" || fail "$file differs from docs/guide's"
done
[ -f "$folder/guide/index.html" ] || fail "the guide's page is missing"

product_version=$(strings -el "$folder/trimdesk.exe" | grep -A1 -x ProductVersion | tail -1)
[ "$product_version" = "$version.0" ] ||
    fail "trimdesk.exe's version is $product_version, the archive's $version"

[ "$failures" -eq 0 ] || exit 1
echo "release archive $folder_name: ok"
