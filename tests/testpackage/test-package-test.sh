#!/bin/sh
# The test package as a Windows team meets it: made by its target, unpacked, and run by Wine's
# cmd in a fresh prefix of its own (code page 932, Japan's clock: cmake/wine-run.sh).
#   test-package-test.sh <source dir> <build dir> <work dir> <package name> <cmake>
# 1. No program of the package names a folder of the sources or of the build, so that nothing
#    can be found there.
# 2. Without KEST_TESTS_MAY_CHANGE_THIS_ACCOUNT=1 the runner refuses with exit status 2 and
#    touches nothing: a certificate put into the personal store before is still there, and no
#    results are written.
# 3. With it, every program passes; the closing line's counts are those of the XML files, one
#    per program, and every GoogleTest program of the build is in the package.
# 4. A program that fails (one that ends without GoogleTest's summary) makes the run fail:
#    exit status 1, and the closing line counts it.
set -u
source_dir=$1
build_dir=$2
work=$3
name=$4
cmake=$5
. "$source_dir/tests/support/test-steps.sh"

started=$(date +%s)
"$cmake" --build "$build_dir" --target test-package >"$work.build" 2>&1 || {
    echo "the test-package target failed:"
    cat "$work.build"
    exit 1
}
rm -rf "$work"
mkdir -p "$work"
(cd "$work" && "$cmake" -E tar xf "$build_dir/$name.zip") || { echo "cannot unpack $name.zip"; exit 1; }
package=$work/$name
[ -f "$package/run-tests.cmd" ] && [ -f "$package/tests.txt" ] || { echo "$name.zip lacks run-tests.cmd or tests.txt"; exit 1; }

# 1. Paths of this machine.
for binary in "$package"/*.exe "$package"/*.dll; do
    for folder in "$source_dir" "$build_dir"; do
        ! grep -qaF "$folder" "$binary" || fail "$(basename "$binary") names $folder"
    done
done

export KEST_WINE_BUILD_DIR=$work
export KEST_WINE_ROOT=$work/wine
mkdir -p "$KEST_WINE_ROOT"
in_package() {
    (cd "$package" && "$source_dir/cmake/wine-run.sh" "$@")
}
# kesttool lists the certificates with a key; it needs an installation with a settings file.
installation=$work/installation
mkdir -p "$installation"
: >"$installation/KestEnv.ini"
in_package kesttool.exe install-dir "Z:$(printf '%s' "$installation" | tr / '\\')" >/dev/null 2>&1 ||
    fail "kesttool install-dir failed"
KEST_SAMPLE_PASSWORD=KestTest-2024 in_package kesttool.exe add-p12 'testdata\mycert\signer.p12' \
    --password-env KEST_SAMPLE_PASSWORD >"$work.add" 2>&1 || { fail "kesttool add-p12 failed:"; cat "$work.add"; }
listed() {
    in_package kesttool.exe list 2>/dev/null | grep -c 'CN=Kest Signer'
}
[ "$(listed)" = 1 ] || fail "the certificate put into the personal store is not listed"

# 2. Refused: unset, and any value but 1.
for value in unset 0 yes; do
    status=0
    if [ "$value" = unset ]; then
        env -u KEST_TESTS_MAY_CHANGE_THIS_ACCOUNT sh -c 'cd "$1" && "$2/cmake/wine-run.sh" cmd /c run-tests.cmd' \
            sh "$package" "$source_dir" >"$work.refused" 2>&1 || status=$?
    else
        KEST_TESTS_MAY_CHANGE_THIS_ACCOUNT=$value in_package cmd /c run-tests.cmd >"$work.refused" 2>&1 || status=$?
    fi
    [ "$status" = 2 ] || { fail "KEST_TESTS_MAY_CHANGE_THIS_ACCOUNT $value: exit status $status, not 2:"; cat "$work.refused"; }
    grep -q "refused" "$work.refused" || fail "KEST_TESTS_MAY_CHANGE_THIS_ACCOUNT $value: no word of refusal"
    [ ! -e "$package/results" ] || fail "KEST_TESTS_MAY_CHANGE_THIS_ACCOUNT $value: results written"
    [ "$(listed)" = 1 ] || fail "KEST_TESTS_MAY_CHANGE_THIS_ACCOUNT $value: the personal store's certificate is gone"
done

# 3. Allowed.
run_started=$(date +%s)
status=0
KEST_TESTS_MAY_CHANGE_THIS_ACCOUNT=1 in_package cmd /c run-tests.cmd >"$work.out" 2>&1 || status=$?
run_ended=$(date +%s)
tr -d '\r' <"$work.out" >"$work.lines"
[ "$status" = 0 ] || fail "run-tests.cmd: exit status $status"

programs=$(tr -d '\r' <"$package/tests.txt")
# Every GoogleTest program of the build (a program that takes --gtest_output) is packed.
for program in "$build_dir"/bin/*.exe; do
    grep -qaF 'gtest_output' "$program" || continue
    printf '%s\n' "$programs" | grep -qxF "$(basename "$program")" || fail "$(basename "$program") is not in the package"
done

# One number of the root element of a program's XML file.
attribute() { printf '%s\n' "$root" | sed -n "s/.* $1=\"\\([0-9]*\\)\".*/\\1/p"; }
tests=0 failed=0 skipped=0 disabled=0
for program in $programs; do
    base=${program%.exe}
    xml=$package/results/$base.xml
    grep -qE "^ok +$base: [0-9]+ passed, 0 failed, [0-9]+ skipped\$" "$work.lines" || fail "no line \"ok $base: ...\""
    [ -f "$xml" ] || { fail "no results/$base.xml"; continue; }
    root=$(grep -m1 '<testsuites ' "$xml")
    tests=$((tests + $(attribute tests)))
    failed=$((failed + $(attribute failures)))
    disabled=$((disabled + $(attribute disabled)))
    skipped=$((skipped + $(grep -c 'result="skipped"' "$xml")))
done
[ "$(grep -c ': [0-9]* passed, ' "$work.lines")" = "$(printf '%s\n' "$programs" | wc -l)" ] ||
    fail "not one line per program"
expected="$((tests - failed - skipped - disabled)) passed, $failed failed"
closing=$(sed '/^$/d' "$work.lines" | tail -n 1)
[ "$closing" = "$expected" ] || fail "the closing line \"$closing\" is not the XML files' \"$expected\""
skipped_line=$(sed '/^$/d' "$work.lines" | tail -n 2 | head -n 1)
[ "$skipped_line" = "$skipped skipped" ] || fail "the line before the closing one, \"$skipped_line\", is not the XML files' \"$skipped skipped\""
[ "$failed" = 0 ] || fail "$failed test cases failed"
[ "$tests" -gt 0 ] || fail "the XML files hold no test case"
# Wine's null driver: the display tests are skipped, with the reason.
if [ "$skipped" -gt 0 ]; then
    grep -q 'graphics driver is null' "$package/results/KestDisplayTests.xml" ||
        fail "the display tests were skipped for another reason than Wine's null driver"
fi

# 4. Failing: a copy of the package whose tests.txt names kesttool, which refuses the runner's
#    --gtest_output as wrong usage.
failing=$work/failing
rm -rf "$failing"
cp -R "$package" "$failing"
printf 'kesttool.exe\r\n' >"$failing/tests.txt"
status=0
(cd "$failing" && KEST_TESTS_MAY_CHANGE_THIS_ACCOUNT=1 "$source_dir/cmake/wine-run.sh" cmd /c run-tests.cmd) \
    >"$work.failing" 2>&1 || status=$?
[ "$status" = 1 ] || {
    fail "run-tests.cmd with a failing program: exit status $status, not 1:"
    cat "$work.failing"
}
closing=$(tr -d '\r' <"$work.failing" | sed '/^$/d' | tail -n 1)
[ "$closing" = "0 passed, 1 failed" ] ||
    fail "run-tests.cmd with a failing program: the closing line \"$closing\" is not \"0 passed, 1 failed\""
tr -d '\r' <"$work.failing" | grep -q '^FAILED kesttool: ended without GoogleTest' ||
    fail "run-tests.cmd with a failing program: no line \"FAILED kesttool: ...\""

if [ "$failures" -ne 0 ]; then
    echo "--- run-tests.cmd printed:"
    cat "$work.lines"
    for output in "$package"/results/*.txt; do
        grep -q '^\[  FAILED  \]' "$output" 2>/dev/null && { echo "--- $output"; tail -n 40 "$output"; }
    done
    echo "$failures checks failed"
    exit 1
fi
cat "$work.lines"
echo "test package: $(($(date +%s) - started)) s in all, run-tests.cmd $((run_ended - run_started)) s"
