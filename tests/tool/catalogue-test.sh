#!/bin/sh
# kesttool check-catalogue on a catalogue with one finding of each kind, and on our own;
# kesttool preview where no display is (the null graphics driver of this runner).
#   catalogue-test.sh <source directory> <directory of the built binaries> <work directory>
set -eu
source_dir=$1
bin=$2
work=$3
rm -rf "$work" && mkdir -p "$work"
# Only files are read: the build tree's prefix serves.
run() { "$source_dir/cmake/wine-run.sh" "$bin/kesttool.exe" "$@"; }
failures=0

# Our catalogue with: a second line for 25000101 (digits in upper case: the same code), an
# empty message, a 260-character line, the severity letter E, a line that is no entry, a
# separator typed full-width (the finding quotes the box in UTF-8), and 25000200 and 2500020f
# left out. CRLF line ends, Shift_JIS, as shipped.
long_message=$(printf '%0250d' 0)
{
    grep -av -e '^X25000200,' -e '^X2500020F,' "$source_dir/KestErr/KestErr.csv"
    printf 'x2500010A,\r\n'
    printf 'W25000101,%s\r\n' "$(printf '二度目' | iconv -f UTF-8 -t CP932)"
    printf 'E25000999,no icon\r\n'
    printf 'X25000998,%s\r\n' "$long_message"
    printf 'X2500\r\n'
    printf 'X25000997%s\r\n' "$(printf '，全角' | iconv -f UTF-8 -t CP932)"
} >"$work/findings.csv"

status=0
run check-catalogue "$work/findings.csv" >"$work/findings.out" 2>&1 || status=$?
cat >"$work/expected.out" <<EXPECTED
$work/findings.csv:14: code 2500010a has an empty message
$work/findings.csv:15: code 25000101 written twice (first on line 3)
$work/findings.csv:16: unknown severity letter 'E': the box shows no icon (I, Q, W or X expected)
$work/findings.csv:17: line of 260 characters, longer than 259: ShowError reads it in pieces
$work/findings.csv:18: not an entry: a severity letter, eight hexadecimal digits, a separator and the message expected
$work/findings.csv:19: code 25000997: the separator is the full-width '，': ShowError takes its first byte for the separator and shows the second as a stray character: the box shows "C全角"; type a comma (,) in its place
$work/findings.csv: no line with a message for code 25000200 (証明書ストアのオープンに失敗しました。)
$work/findings.csv: no line with a message for code 2500020f (ファイル日時形式からシステム日時形式への変更に失敗しました。)
$work/findings.csv: 8 findings
EXPECTED
if ! cmp -s "$work/expected.out" "$work/findings.out"; then
    echo "FAILED: findings differ (expected, then got):"
    diff "$work/expected.out" "$work/findings.out" || true
    failures=$((failures + 1))
fi
[ "$status" -eq 1 ] || { echo "FAILED: exit status $status on findings, 1 expected"; failures=$((failures + 1)); }

status=0
run check-catalogue "$source_dir/KestErr/KestErr.csv" >"$work/own.out" 2>&1 || status=$?
printf '%s: no findings\n' "$source_dir/KestErr/KestErr.csv" | cmp -s - "$work/own.out" ||
    { echo "FAILED: our catalogue:"; cat "$work/own.out"; failures=$((failures + 1)); }
[ "$status" -eq 0 ] || { echo "FAILED: exit status $status on our catalogue"; failures=$((failures + 1)); }

status=0
run check-catalogue "$work/missing.csv" >"$work/missing.out" 2>&1 || status=$?
[ "$status" -eq 1 ] && grep -qxF "kesttool: cannot read $work/missing.csv" "$work/missing.out" ||
    { echo "FAILED: a missing catalogue:"; cat "$work/missing.out"; failures=$((failures + 1)); }

# Nothing to picture the boxes on: refused before anything is written, not hung in a box.
mkdir -p "$work/catalogue"
cp "$source_dir/KestErr/KestErr.csv" "$work/catalogue/KestErr.csv"
status=0
run preview "$work/catalogue/KestErr.csv" --out "$work/preview" >"$work/preview.out" 2>&1 || status=$?
[ "$status" -eq 2 ] && grep -qF "kesttool: preview: no display: " "$work/preview.out" ||
    { echo "FAILED: preview without a display (status $status):"; cat "$work/preview.out"; failures=$((failures + 1)); }
[ ! -e "$work/preview" ] || { echo "FAILED: preview without a display wrote $work/preview"; failures=$((failures + 1)); }

[ "$failures" -eq 0 ] && echo "catalogue checker: all checks passed"
