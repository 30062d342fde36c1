#!/bin/sh
# Bit-for-bit rebuilds: clones one commit twice, into two temporary folders of different
# depth, builds only what the package needs in each (no tests, no googletest), and fails unless
# the two package ZIPs and the two symbols ZIPs (the PDBs) and every file in them are
# byte-identical. Prints the SHA-256 of each shipped file, and checks the SHA256SUMS of each ZIP
# against its files.
#   check-rebuild.sh [<commit>]      (default: HEAD of this repository; uncommitted changes
#                                      are not part of the check)
set -eu
cd "$(dirname "$0")/.."
repo=$(pwd)
commit=$(git rev-parse --verify "${1:-HEAD}^{commit}")
jobs=$(nproc 2>/dev/null || echo 2)
work=$(mktemp -d "${TMPDIR:-/tmp}/kest-rebuild.XXXXXX")
trap 'rm -rf "$work"' EXIT

# build <clone folder>: clone, build the package, unpack its ZIPs beside the clone.
build() {
    clone=$1
    started=$(date +%s)
    git clone --quiet --no-checkout "$repo" "$clone"
    if ! git -C "$clone" checkout --quiet --detach "$commit" 2>/dev/null; then
        git -C "$clone" fetch --quiet "$repo" "$commit"
        git -C "$clone" checkout --quiet --detach "$commit"
    fi
    if ! (cd "$clone" && cmake --preset mingw -DBUILD_TESTING=OFF &&
        cmake --build --preset mingw --target release-package -j "$jobs") >"$clone.log" 2>&1; then
        cat "$clone.log"
        echo "check-rebuild.sh: the build in $clone failed" >&2
        exit 1
    fi
    set -- "$clone"/build/mingw/Kest-*-win64.zip
    [ -f "$1" ] || { echo "check-rebuild.sh: no package ZIP in $clone/build/mingw" >&2; exit 1; }
    [ -f "${1%.zip}-symbols.zip" ] || { echo "check-rebuild.sh: no symbols ZIP in $clone/build/mingw" >&2; exit 1; }
    mkdir "$clone.unpacked"
    (cd "$clone.unpacked" && cmake -E tar xf "$1" && cmake -E tar xf "${1%.zip}-symbols.zip")
    echo "built $commit in $clone: $(($(date +%s) - started)) s"
}

first=$work/a/Kest
second=$work/second-clone/one-level-deeper/Kest
mkdir -p "$(dirname "$first")" "$(dirname "$second")"
build "$first"
build "$second"

(cd "$first.unpacked" && find . -type f | LC_ALL=C sort) >"$work/files-first"
(cd "$second.unpacked" && find . -type f | LC_ALL=C sort) >"$work/files-second"

status=0
if ! cmp -s "$work/files-first" "$work/files-second"; then
    echo "The two packages hold different files:"
    diff "$work/files-first" "$work/files-second" || true
    status=1
fi
while read -r file; do
    hash=$(sha256sum "$first.unpacked/$file" | cut -d' ' -f1)
    if cmp -s "$first.unpacked/$file" "$second.unpacked/$file"; then
        echo "$hash  ${file#./}"
    else
        echo "$hash  ${file#./}  DIFFERS: $(sha256sum "$second.unpacked/$file" | cut -d' ' -f1)"
        status=1
    fi
done <"$work/files-first"
for zip_first in "$first"/build/mingw/Kest-*-win64.zip "$first"/build/mingw/Kest-*-win64-symbols.zip; do
    zip_second=$second/build/mingw/$(basename "$zip_first")
    zip_hash=$(sha256sum "$zip_first" | cut -d' ' -f1)
    if cmp -s "$zip_first" "$zip_second"; then
        echo "$zip_hash  $(basename "$zip_first")"
    else
        echo "$zip_hash  $(basename "$zip_first")  DIFFERS: $(sha256sum "$zip_second" | cut -d' ' -f1)"
        status=1
    fi
done

for sums in "$first.unpacked"/*/SHA256SUMS; do
    if ! (cd "$(dirname "$sums")" && sha256sum --quiet -c SHA256SUMS); then
        echo "The SHA256SUMS of $(basename "$(dirname "$sums")") does not match its files"
        status=1
    fi
done

if [ "$status" -eq 0 ]; then
    echo "check-rebuild.sh: two builds of $commit in two folders gave the same bytes"
else
    echo "check-rebuild.sh: the two builds of $commit differ" >&2
fi
exit "$status"
