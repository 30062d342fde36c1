#!/bin/sh
# An installation built with the platform's compiler: a host and a KestIni.dll compiled by clang
# for the MSVC ABI (clang-msvc-x86_64.cmake, host/), the host linked by lld-link against the
# installed package's Visual Studio import libraries, run under Wine with our MinGW-built DLLs
# loading against that KestIni's compiler-decorated exports.
#   msvc-host-test.sh <source dir> <build dir> <work dir> <generator> <objdump> <tool>...
# The tools (clang, clang++, lld-link, llvm-dlltool) are what CMake found; a missing one skips
# the test (exit 77).
set -u
source_dir=$1
build_dir=$2
work=$3
generator=$4
objdump=$5
shift 5
for tool in "$@"; do
    case $tool in
    *-NOTFOUND | "")
        echo "SKIPPED: ${tool%-NOTFOUND} is not installed; the MSVC-ABI host needs clang, lld and llvm (scripts/setup.sh)"
        exit 77
        ;;
    esac
done
. "$source_dir/tests/support/test-steps.sh"

rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
package=$work/package
run=$work/run
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }

step "cmake --install" cmake --install "$build_dir" --prefix "$package"
step "configuring the MSVC-ABI host against the package" cmake -S "$source_dir/tests/msvc/host" -B "$work/host" \
    -G "$generator" --toolchain "$source_dir/tests/msvc/clang-msvc-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DKest_DIR="$package/lib/cmake/Kest" -DKEST_SOURCE_DIR="$source_dir"
grep -F "find_package(Kest): the lib/msvc import libraries" "$work/step.log"
step "building the MSVC-ABI host and KestIni" cmake --build "$work/host"

# The installation: our DLLs and tool from the package, the MSVC-built KestIni in place of the
# stand-in, the host, and the MinGW reader of the same list.
mkdir -p "$run"
for file in KestLog.dll KestErr.dll KestCommon.dll KestMyCert.dll kesttool.exe; do cp "$package/bin/$file" "$run/"; done
cp "$work/host/KestIni.dll" "$work/host/msvc-host.exe" "$build_dir/bin/MyCertReader.exe" "$run/"

# The import and export tables as the two compilers made them.
"$objdump" -p "$run/KestIni.dll" >"$work/kestini.exports"
for name in '?KestInstallPath@@YA_NPEADK@Z' '?KestIniRead@@YAKPEAD00@Z'; do
    grep -qF "] $name" "$work/kestini.exports" || fail "the MSVC-built KestIni.dll does not export $name"
done
"$objdump" -p "$run/msvc-host.exe" >"$work/host.imports"
# The entries of one DLL: the lines after its "DLL Name" and table header, up to a blank line.
imports_of() { awk -v dll="$1" '/DLL Name:/ { on = ($3 == dll); next } NF == 0 { on = 0 } on && $1 != "vma:"' "$work/host.imports"; }
[ "$(imports_of KestCommon.dll | awk '$3 == "<none>" { print $2 }' | tr '\n' ' ')" = "000000001 000000002 00000000b " ] &&
    [ "$(imports_of KestCommon.dll | grep -vc '<none>')" -eq 0 ] ||
    fail "the host does not import KestCommon.dll by ordinals 1, 2 and 11 alone: $(imports_of KestCommon.dll)"
imports_of KestIni.dll | grep -qF '?KestIniRead@@YAKPEAD00@Z' ||
    fail "the host does not import KestIniRead under its decorated name: $(imports_of KestIni.dll)"

# Under Wine, in the tests' prefix: the installation directory and the log through kesttool
# (which sets the stand-in's registry values, read by this KestIni too), then the signer with
# its key into the personal store.
export KEST_WINE_BUILD_DIR=$build_dir
export KEST_SAMPLE_PASSWORD=KestTest-2024
kesttool() { "$source_dir/cmake/wine-run.sh" "$run/kesttool.exe" "$@"; }
# signer.p12's names are PrintableStrings, which Windows and Wine write alike.
signer_id='012a;CN=Kest Test CA, O=Kest Test, C=JP'
cleanup() {
    kesttool remove "$signer_id" >/dev/null 2>&1
    kesttool log off >/dev/null 2>&1
}
trap cleanup EXIT
log=$work/kest.log
step "kesttool install-dir" kesttool install-dir "$(windows_path "$run")"
step "kesttool log on" kesttool log on "$(windows_path "$log")"
kesttool remove "$signer_id" >/dev/null 2>&1
step "kesttool add-p12" kesttool add-p12 "$(windows_path "$source_dir/tests/mycert/data/signer.p12")" \
    --password-env KEST_SAMPLE_PASSWORD

"$source_dir/cmake/wine-run.sh" "$run/msvc-host.exe" >"$work/msvc.out" 2>&1 || fail "the MSVC-ABI host failed"
"$source_dir/cmake/wine-run.sh" "$run/MyCertReader.exe" >"$work/mingw.out" 2>&1 || fail "MyCertReader failed"
tr -d '\r' <"$work/msvc.out" >"$work/msvc.txt"
tr -d '\r' <"$work/mingw.out" >"$work/mingw.txt"
echo "--- the MSVC-ABI host:"
cat "$work/msvc.txt"

# Layout and fields as the MSVC side read them, against the MinGW side, and against the test
# certificate's known values (signer.der: serial 01 2a, 5 January 2024 to 2034).
grep -E '^(offset|sizeof|records?) ' "$work/msvc.txt" >"$work/msvc.fields"
grep -E '^(offset|sizeof|records?) ' "$work/mingw.txt" >"$work/mingw.fields"
cmp -s "$work/msvc.fields" "$work/mingw.fields" || {
    fail "the MSVC-ABI host reads the layout or the list differently from the MinGW build:"
    diff "$work/mingw.fields" "$work/msvc.fields"
}
expect() { grep -qxF -- "$1" "$work/msvc.fields" || fail "the host did not read: $1"; }
expect "offset notAfter 52"
expect "sizeof MyCert 88"
expect "records 1"
expect 'record 1 subject CN=Kest Signer, O=Kest Test, C=JP'
expect "record 1 serialHex 012a"
expect "record 1 notBefore 2024.01.05 00:00:00"
expect "record 1 notAfter 2034.01.05 00:00:00"
expect "record 1 candidate 0"
expect "record 1 certEncoded $(wc -c <"$source_dir/tests/mycert/data/signer.der" | tr -d ' ')"
grep -qxF "installDir $(windows_path "$run")" "$work/msvc.txt" || fail "KestInstallPath did not give the installation directory"

# The host's own record, and the list's trace records, written through this KestIni's settings.
records=$(iconv -f CP932 -t UTF-8 "$log" 2>/dev/null | tr -d '\r')
printf '%s\n' "$records" | grep -qE '^\[[0-9]+/[0-9]+ [0-9:]+\]Host\.c,[0-9]+,MSVC-ABI host: a record through KestLog$' ||
    fail "the log lacks the host's record"
printf '%s\n' "$records" |
    grep -qE '^\[[0-9]+/[0-9]+ [0-9:]+\]HostCpp14\.cpp,[0-9]+,MSVC-ABI host: a record from C\+\+14 through KestLog$' ||
    fail "the log lacks the C++14 unit's record"
printf '%s\n' "$records" |
    grep -qE '^\[[0-9]+/[0-9]+ [0-9:]+\]Host\.c,[0-9]+,MSVC-ABI host: file=\[C:\\a\.pdf\] size=\[18000000000000000000\] at=\[0000000000000ABC\] name=\[signer\]$' ||
    fail "logAny did not format the host's %ws, %I64u and %p as Visual Studio's printf does"
for function in createMyCertList deleteMyCertList; do
    printf '%s\n' "$records" | grep -qF "$function" || fail "the log lacks the trace records of $function"
done

[ "$failures" -eq 0 ] && echo "The MSVC-ABI host: all checks passed" && exit 0
echo "--- the MinGW reader:"
cat "$work/mingw.txt"
exit 1
