#!/bin/sh
# The symbols package as a host's team meets it: the release ZIP and the symbols ZIP made by the
# package script, unpacked side by side.
#   symbols-test.sh crash <source dir> <build dir> <work dir> <toolchain> <generator> <package script arguments>...
#     A host built against the unpacked package (crash-host/) crashes inside KestMyCert.dll on a
#     list its own bug damaged and writes a minidump; winedbg reads the dump with the symbols
#     folder on _NT_SYMBOL_PATH (countMyCertList, its source unit and the line of the faulting
#     read, then the host's frame) and without it (no function of ours named).
#   symbols-test.sh pdbs <source dir> <build dir> <work dir> <llvm-readobj> <llvm-pdbutil> <objdump> <package script arguments>...
#     Every shipped binary's debug directory names its PDB by file name alone, with the GUID and
#     age of that PDB in the symbols ZIP (plain folder and store layout alike); no DWARF section
#     ships, no PDB holds a folder of this build, and the symbols' SHA256SUMS holds.
set -u
mode=$1
source_dir=$2
build_dir=$3
work=$4
shift 4
. "$source_dir/tests/support/test-steps.sh"
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }

rm -rf "$work"
mkdir -p "$work/unpacked"
work=$(cd "$work" && pwd)

# make_package <package script arguments>...: both ZIPs, unpacked into $work/unpacked.
make_package() {
    step "the package script" cmake "$@" -DKEST_OUTPUT_DIR="$work/made" -P "$source_dir/cmake/KestMakePackage.cmake"
    set -- "$work"/made/Kest-*-win64.zip
    package_zip=$1
    symbols_zip=${package_zip%.zip}-symbols.zip
    [ -f "$symbols_zip" ] || { echo "FAILED: no symbols ZIP beside $(basename "$package_zip")"; exit 1; }
    (cd "$work/unpacked" && cmake -E tar xf "$package_zip" && cmake -E tar xf "$symbols_zip") || exit 1
    package=${package_zip%.zip}
    package=$work/unpacked/${package##*/}
    symbols=$package-symbols
}

case $mode in
crash)
    toolchain=$1
    generator=$2
    shift 2
    make_package "$@"
    step "configuring the host against the unpacked package" cmake -S "$source_dir/tests/symbols/crash-host" \
        -B "$work/host" -G "$generator" --toolchain "$toolchain" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DKest_DIR="$package/lib/cmake/Kest"
    step "building the host" cmake --build "$work/host"

    # A certificate with its key in the personal store of the tests' prefix, so that the host's
    # list has a record; taken out again afterwards.
    export KEST_WINE_BUILD_DIR=$build_dir
    wine_run=$source_dir/cmake/wine-run.sh
    KEST_TEST_P12_PASSWORD=KestTest-2024 "$wine_run" "$package/bin/kesttool.exe" add-p12 \
        "$(windows_path "$source_dir/tests/mycert/data/signer.p12")" --password-env KEST_TEST_P12_PASSWORD \
        >"$work/add.txt" 2>&1 || { cat "$work/add.txt"; fail "kesttool add-p12"; exit 1; }
    id=$(sed -n 's/^added [0-9]*: .* (\(.*\))\r\{0,1\}$/\1/p' "$work/add.txt" | head -n 1)

    dump=$work/crash.dmp
    "$wine_run" "$work/host/crash-host.exe" "$(windows_path "$dump")" >"$work/host.txt" 2>&1
    status=$?
    [ -z "$id" ] || "$wine_run" "$package/bin/kesttool.exe" remove "$id" >"$work/remove.txt" 2>&1 ||
        { cat "$work/remove.txt"; fail "kesttool remove $id"; }
    cat "$work/host.txt"
    [ "$status" -ne 0 ] || fail "the host did not crash (exit status 0)"
    grep -q "exception 0xc0000005, minidump written" "$work/host.txt" || fail "the host wrote no minidump of an access violation"
    [ -s "$dump" ] || { fail "no minidump at $dump"; exit 1; }

    # The line of countMyCertList's read of next, from the source as it is now.
    unit=$source_dir/KestMyCert/KestMyCertManager.cpp
    line=$(awk '/^unsigned countMyCertList\(/ { inside = 1 } inside && /->next/ { print NR; exit }' "$unit")
    [ -n "$line" ] || { fail "no read of next in countMyCertList in $unit"; exit 1; }

    # winedbg <symbol path> <output>: the dump's backtrace (Wine's debugger, which wine-run.sh
    # turns off for the tests, allowed here).
    winedbg_dump() {
        (cd "$work" && _NT_SYMBOL_PATH=$1 KEST_WINEDLLOVERRIDES="mscoree=;mshtml=" "$wine_run" winedbg \
            "$(windows_path "$dump")" </dev/null >"$2" 2>&1)
        sed -n '/^Backtrace:/,/^Wine-dbg>/p' "$2"
    }
    host_dir=$(windows_path "$work/host")
    echo "With the symbols folder and the host's folder on _NT_SYMBOL_PATH:"
    winedbg_dump "$(windows_path "$symbols/pdb");$host_dir" "$work/with-symbols.txt"
    top=$(grep '^=>0 ' "$work/with-symbols.txt")
    case $top in
    *" countMyCertList+0x"*"KestMyCertManager.cpp:$line] in kestmycert "*) ;;
    *) fail "the top frame is not countMyCertList at KestMyCertManager.cpp:$line in KestMyCert: $top" ;;
    esac
    grep -A1 '^=>0 ' "$work/with-symbols.txt" | grep -q '^  1 .*showCertificateChoice.* in crash-host ' ||
        fail "the host's showCertificateChoice does not follow the top frame"

    echo "With the host's folder alone:"
    winedbg_dump "$host_dir" "$work/without-symbols.txt"
    grep -q '^=>0 0x[0-9a-f]* in kestmycert (+0x[0-9a-f]*)' "$work/without-symbols.txt" ||
        fail "without the symbols the top frame is not an unnamed address in KestMyCert"
    if grep ' in kest[a-z]* ' "$work/without-symbols.txt" | grep -v ' in kest[a-z]* (+0x' | grep -q .; then
        fail "without the symbols a function of ours is named"
    fi
    grep -q '^  1 .*showCertificateChoice.* in crash-host ' "$work/without-symbols.txt" ||
        fail "without our symbols the host's frame is not named (the dump was not read)"
    ;;
pdbs)
    readobj=$1
    pdbutil=$2
    objdump=$3
    shift 3
    make_package "$@"
    (cd "$symbols" && sha256sum --quiet -c SHA256SUMS) || fail "the symbols' SHA256SUMS does not match their files"
    count=0
    for binary in "$package"/bin/*.dll "$package"/bin/*.exe; do
        file=$(basename "$binary")
        name=${file%.*}
        "$readobj" --coff-debug-directory "$binary" >"$work/debug-directory.txt" 2>&1
        # PDBGUID: (b0 b1 ... b15): the GUID's first three fields are little-endian.
        guid=$(sed -n 's/^ *PDBGUID: (\(.*\))$/\1/p' "$work/debug-directory.txt" |
            awk '{ printf "%s%s%s%s%s%s%s%s", $4, $3, $2, $1, $6, $5, $8, $7; for (i = 9; i <= 16; ++i) printf "%s", $i }')
        age=$(sed -n 's/^ *PDBAge: \([0-9]*\)$/\1/p' "$work/debug-directory.txt")
        named=$(sed -n 's/^ *PDBFileName: \(.*\)$/\1/p' "$work/debug-directory.txt")
        [ "$named" = "$name.pdb" ] || fail "$file's debug directory names '$named', not $name.pdb"
        pdb=$symbols/pdb/$name.pdb
        [ -f "$pdb" ] || { fail "the symbols ZIP has no pdb/$name.pdb for $file"; continue; }
        "$pdbutil" dump -summary "$pdb" >"$work/summary.txt" 2>&1
        pdb_guid=$(sed -n 's/^ *GUID: {\(.*\)}$/\1/p' "$work/summary.txt" | tr -d -)
        pdb_age=$(sed -n 's/^ *Age: \([0-9]*\)$/\1/p' "$work/summary.txt")
        if [ -z "$guid" ] || [ "$guid" != "$pdb_guid" ] || [ "$age" != "$pdb_age" ]; then
            fail "$file: debug directory GUID $guid age $age, pdb/$name.pdb GUID $pdb_guid age $pdb_age"
        fi
        stored=$symbols/symstore/$name.pdb/$guid$(printf '%X' "$age")/$name.pdb
        cmp -s "$pdb" "$stored" || fail "$file: no copy of pdb/$name.pdb at ${stored#"$symbols"/}"
        if "$objdump" -h "$binary" | grep -q '\.debug_'; then fail "$file ships with DWARF sections"; fi
        echo "$file: $named, GUID $guid, age $age: pdb/$name.pdb and ${stored#"$symbols"/}"
        count=$((count + 1))
    done
    [ "$count" -gt 0 ] || fail "no shipped binaries in $package/bin"
    [ "$(find "$symbols/pdb" -name '*.pdb' | wc -l)" -eq "$count" ] || fail "the symbols hold PDBs of no shipped binary"
    for pdb in "$symbols"/pdb/*.pdb; do
        ! grep -q -a -F -e "$source_dir" -e "$build_dir" "$pdb" || fail "$(basename "$pdb") holds a folder of this build"
    done
    ;;
*)
    echo "symbols-test.sh: the mode is crash or pdbs" >&2
    exit 2
    ;;
esac
[ "$failures" -eq 0 ] || exit 1
echo "all checks passed"
