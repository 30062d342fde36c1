#!/bin/sh
# End to end: the typical road (tools/KestTool/typical-road.sh), the demo, in a fresh Wine prefix
# of its own: that it runs through, and what only the whole road shows: the log records its
# steps leave, the road's failure and box as log show tells them, doctor after it, and the boxes
# printed in a prefix without a display. What each certificate command prints and leaves is
# tested command by command (KestToolCertificateCommandsTests.cpp).
#   typical-road-test.sh <source directory> <directory of the built binaries> <work directory>
set -u
source_dir=$1
bin=$2
work=$3
failures=0

"$source_dir/tools/KestTool/typical-road.sh" "$bin" "$work" >"$work.out" 2>&1 || {
    echo "the road itself failed:"
    cat "$work.out"
    exit 1
}
output=$work.out
log=$(iconv -f CP932 -t UTF-8 "$work/installation/kest.log" | tr -d '\r')

fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}
# The output of one command (its nth run, 1 unless given): from its "$ kesttool ..." line to
# the blank line before the next.
step() {
    command="\$ kesttool $1" nth=${2:-1} awk '
        $0 == ENVIRON["command"] { run++; on = (run == ENVIRON["nth"]); next }
        /^\$ kesttool / { on = 0 }
        on' "$output" | sed '${/^$/d}'
}
expect_in_step() {
    step "$1" | grep -qxF -- "$2" || fail "\"$1\" did not print the line: $2"
}
expect_text() {  # text, description, line
    printf '%s\n' "$1" | grep -qxF -- "$3" || fail "$2 lacks the line: $3"
}

signer_id="012a;CN=Kest Test CA, O=Kest Test, C=JP"
install_win=$(printf 'Z:%s' "$(cd "$work/installation" && pwd)" | tr / '\\')

expect_in_step "log status" "log on, to $install_win\\kest.log (made with the first record)"
expect_in_step "check-catalogue $install_win\\KestErr.csv" "$install_win\\KestErr.csv: no findings"
# The box of the road's one failure, the wrong password, auto-closed.
step "show-error 25000209 --auto-close" >"$work.box"
printf '%s\n' '--- error box "Tavrin", icon error, closed with OK by kesttool' 'PKCS#12形式データのパスワードに誤りがあります。' '' \
    'Code=0x25000209' '---' | cmp -s - "$work.box" || { fail "box not printed as expected:"; cat "$work.box"; }

# A code the catalogue lacks, shown without --auto-close: the prefix has the null graphics
# driver, so the box is printed all the same, and its record spans two lines.
printf '%s\n' '--- error box "Tavrin", icon error, closed with OK by kesttool' 'エラーメッセージが見つかりません' \
    'Code=0x2500ffff' '---' | cmp -s - "$(step "show-error 2500ffff" >"$work.box"; echo "$work.box")" ||
    { fail "box of a missing code not printed:"; cat "$work.box"; }

# doctor, once the signer went while still a candidate: its id is stale, with exit status 1.
expect_in_step doctor "problem  candidates    CertId_0000 $signer_id matches no certificate of the list; no certificate of the personal store has this id; take it out with kesttool unmark \"$signer_id\""
expect_in_step doctor "ok       log           off"
expect_in_step doctor "(exit status 1)"

# The log: the road's steps, the reported failure, the box record; nothing after log off.
# Records as "<source unit>,<message>": the line numbers are the libraries' own matter.
records=$(printf '%s\n' "$log" | sed 's/^\[[0-9/]* [0-9:]*\]\([^,]*\),[0-9]*,/\1,/')
for record in \
    "KestMyCertStoreUtil.cpp,storeMyCertToStore() end" \
    "KestMyCertManager.cpp,writeIniSignerCertCandidate() end" \
    "KestMyCertManager.cpp,writeIniOmitSelectCert() end" \
    "KestMyCertManager.cpp,openPkcs12Store() = 0x25000209 : PKCS#12形式データのパスワードに誤りがあります。 : PFXVerifyPassword() failed (0x00000000)" \
    "KestMyCertManager.cpp,createMyCertListInPkcs12Store() = 0x25000209 : openPkcs12Store() failed" \
    "KestErr.cpp,PKCS#12形式データのパスワードに誤りがあります。Code=0x25000209" \
    "KestErr.cpp,エラーメッセージが見つかりません" \
    "Code=0x2500ffff" \
    "KestMyCertStoreUtil.cpp,deleteMyCertFromStore() end"; do
    printf '%s\n' "$records" | grep -qxF -- "$record" || fail "log lacks the record: $record"
done
[ "$(printf '%s\n' "$log" | grep -c '() failed (0x')" -eq 1 ] || fail "platform failures other than the wrong password logged"
printf '%s\n' "$log" | sed -n '$p' | grep -qF "deleteMyCertList() end" || fail "the log does not end with the last list's release"
# Every start record has its end.
starts=$(printf '%s\n' "$log" | grep -c '() start$')
ends=$(printf '%s\n' "$log" | grep -c '() end$')
[ "$starts" -eq "$ends" ] || fail "$starts start records, $ends end records"

# The road's one failure, the wrong password, as log show --errors tells it.
errors=$(step "log show --errors $install_win\\kest.log" | sed 's/^  [0-9/]* [0-9:]*  \([A-Za-z.]*\):[0-9]*  /  \1  /')
expect_text "$errors" "log show --errors" "failure 0x25000209 at line $(grep -an ',openPkcs12Store() = ' "$work/installation/kest.log" | cut -d: -f1): PKCS#12形式データのパスワードに誤りがあります。"
expect_text "$errors" "log show --errors" "  KestMyCertManager.cpp  openPkcs12Store() failed"
expect_text "$errors" "log show --errors" "  KestMyCertManager.cpp  createMyCertListInPkcs12Store(): openPkcs12Store() failed"
expect_text "$errors" "log show --errors" "  outermost: createMyCertListInPkcs12Store(), which returned 0x25000209 to its caller"
# The road's box of a code the catalogue lacks, in the summary with its record's line.
expect_text "$errors" "log show --errors" "  0x2500ffff  1 box"
expect_text "$errors" "log show --errors" "    line $(iconv -f CP932 -t UTF-8 "$work/installation/kest.log" | grep -n ',エラーメッセージが見つかりません' | cut -d: -f1)"
printf '%s\n' "$errors" | tail -n 1 | grep -q '^1 failure in [0-9]* records$' || fail "log show --errors does not end with one failure"

[ "$failures" -eq 0 ] || { echo "--- road output"; cat "$output"; exit 1; }
echo "typical road: all checks passed"
