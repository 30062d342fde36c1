#!/bin/sh
# The shipped binaries as a security review's checker reads them: every DLL and program that
# cmake --install lays out (stripped and stamped as shipped), read by llvm-readobj.
#   hardening-test.sh <source dir> <build dir> <work dir> <llvm-readobj>
# Each has ASLR with 64-bit addresses and NX, and a load configuration whose security cookie is
# set and whose DependentLoadFlags leave the loader's default search where the binary imports a
# DLL of the installation (KestIni.dll or one of ours): with LOAD_LIBRARY_SEARCH_SYSTEM32 (0x800)
# Windows would look for those in System32 alone and not load the binary; Control Flow Guard,
# instrumented with a function table and marked in the header; and the CET shadow-stack
# compatibility of the extended DLL characteristics.
set -u
source_dir=$1
build_dir=$2
work=$3
readobj=$4
. "$source_dir/tests/support/test-steps.sh"

rm -rf "$work"
mkdir -p "$work"
step "cmake --install" cmake --install "$build_dir" --prefix "$work"
count=0
for binary in "$work"/bin/*.dll "$work"/bin/*.exe; do
    [ -f "$binary" ] || continue
    file=$(basename "$binary")
    "$readobj" --file-headers --coff-load-config --coff-debug-directory "$binary" >"$work/readobj.txt" 2>&1 ||
        { cat "$work/readobj.txt"; fail "$file: llvm-readobj failed"; continue; }
    field() { sed -n "s/^ *$1: \(.*\)$/\1/p" "$work/readobj.txt" | head -n 1; }
    has() { grep -q "^ *$1 " "$work/readobj.txt"; }
    [ -n "$(field Size)" ] || { fail "$file has no load configuration"; continue; }
    cookie=$(field SecurityCookie)
    [ -n "$cookie" ] && [ "$cookie" != 0x0 ] || fail "$file: no security cookie ($cookie)"
    installation_imports=$("$readobj" --coff-imports "$binary" | sed -n 's/^ *Name: \(Kest.*\.dll\)$/\1/p' | tr '\n' ' ')
    if [ -n "$installation_imports" ]; then
        [ "$(field DependentLoadFlags)" = 0x0 ] ||
            fail "$file: DependentLoadFlags $(field DependentLoadFlags): Windows would not find $installation_imports"
    fi
    for characteristic in DYNAMIC_BASE HIGH_ENTROPY_VA NX_COMPAT; do
        has "IMAGE_DLL_CHARACTERISTICS_$characteristic" || fail "$file: no $characteristic"
    done
    flags=$(field GuardFlags)
    # IMAGE_GUARD_CF_INSTRUMENTED 0x100, IMAGE_GUARD_CF_FUNCTION_TABLE_PRESENT 0x400
    [ $((flags & 0x500)) -eq $((0x500)) ] || fail "$file: GuardFlags $flags without CF_INSTRUMENTED and the function table"
    [ "$(field GuardCFFunctionCount)" -gt 0 ] 2>/dev/null || fail "$file: an empty Control Flow Guard function table"
    [ "$(field GuardCFCheckDispatch)" != 0x0 ] || fail "$file: no Control Flow Guard dispatch pointer"
    has IMAGE_DLL_CHARACTERISTICS_GUARD_CF || fail "$file: the header does not mark Control Flow Guard"
    has IMAGE_DLL_CHARACTERISTICS_EX_CET_COMPAT || fail "$file: not marked CET shadow-stack compatible"
    echo "$file: cookie at $cookie, DependentLoadFlags $(field DependentLoadFlags), GuardFlags $(field GuardFlags)," \
        "$(field GuardCFFunctionCount) guarded functions"
    count=$((count + 1))
done
[ "$count" -gt 0 ] || fail "no binaries in $work/bin"
[ "$failures" -eq 0 ] || exit 1
echo "all checks passed"
