#!/bin/sh
# Writes a log file as Log writes it (Shift_JIS, CRLF) of about <MiB> MiB, for timing
# `kesttool log show` on a customer's log of that size without keeping one in the tree:
#   bench/make-log.sh <file> [<MiB>, default 100] [<shape>, default rounds]
# rounds: each round is a host's list of three certificates (start and end records, as
# KestMyCert writes them) and an error box; every 100th round also holds the wrong-password chain.
# open-calls: half the records start calls that never end, the other half end calls that were
# never started (records dropped, or two processes).
# heads: one line of record heads without their line ends, as crashed runs leave them.
set -eu
out=$1
mib=${2:-100}
shape=${3:-rounds}
case $shape in
open-calls)
    LC_ALL=C awk -v target=$((mib * 1048576)) '
    BEGIN {
        start = "[12/09 09:00:00]KestMyCertManager.cpp,204,buildNewMyCertList() start\r\n"
        end = "[12/09 09:00:00]KestMyCertManager.cpp,171,newMyCertList() end\r\n"
        for (n = int(target / (length(start) + length(end))); n > 0; n--) printf "%s", start
        for (n = int(target / (length(start) + length(end))); n > 0; n--) printf "%s", end
    }' >"$out"
    exit 0
    ;;
heads)
    LC_ALL=C awk -v target=$((mib * 1048576)) '
    BEGIN {
        head = "[12/09 09:00:00]KestMyCertManager.cpp,204,"
        for (n = int(target / length(head)); n > 0; n--) printf "%s", head
        printf "\r\n"
    }' >"$out"
    exit 0
    ;;
rounds) ;;
*) echo "make-log.sh: the shape is rounds, open-calls or heads" >&2; exit 2 ;;
esac
LC_ALL=C awk -v target=$((mib * 1048576)) '
function record(unit, line, text) {
    stamp = sprintf("[%d/%02d %02d:%02d:%02d]", 12, 9, int(clock / 3600) % 24, int(clock / 60) % 60, clock % 60)
    line = stamp unit "," line "," text "\r\n"
    printf "%s", line
    bytes += length(line)
}
function traced(unit, line, name, inner) {
    record(unit, line, name "() start")
    if (inner != "") record(unit, line + 3, inner)
    record(unit, line, name "() end")
}
BEGIN {
    # Shift_JIS: PKCS#12形式データのパスワードに誤りがあります。 and エラー
    password = "PKCS#12\214\140\216\256\203\146\201\133\203\136\202\314\203\160\203\130\203\217\201\133\203\150\202\311\214\353\202\350\202\252\202\240\202\350\202\334\202\267\201\102"
    box = "\203\107\203\211\201\133"
    m = "KestMyCertManager.cpp"
    while (bytes < target) {
        clock++
        record(m, 272, "createMyCertList() start")
        record(m, 204, "buildNewMyCertList() start")
        for (i = 0; i < 3; i++) {
            record(m, 171, "newMyCertList() start")
            traced("KestCommonUtil.cpp", 77, "allocMemory")
            record("KestMyCertStoreUtil.cpp", 26, "copyCertContext() start")
            record("KestMyCertStoreUtil.cpp", 26, "copyCertContext() end")
            record(m, 144, "getCertAttributes() start")
            traced(m, 108, "getCertNameString")
            traced(m, 108, "getCertNameString")
            traced(m, 120, "bytesToHex")
            traced(m, 133, "fileTimeToString")
            traced(m, 133, "fileTimeToString")
            record(m, 144, "getCertAttributes() end")
            record(m, 171, "newMyCertList() end")
        }
        record(m, 204, "buildNewMyCertList() end")
        record(m, 272, "createMyCertList() end")
        record("KestErr.cpp", 77, box "\r\nCode=0x2500ffff")
        if (clock % 100 == 0) {
            record(m, 284, "createMyCertListInPkcs12Store() start")
            record(m, 220, "openPkcs12Store() start")
            record(m, 227, "openPkcs12Store() = 0x25000209 : " password " : PFXVerifyPassword() failed (0x00000000)")
            record(m, 220, "openPkcs12Store() end")
            record(m, 287, "createMyCertListInPkcs12Store() = 0x25000209 : openPkcs12Store() failed")
            record(m, 284, "createMyCertListInPkcs12Store() end")
        }
    }
}' >"$out"
