#!/bin/sh
# The typical road of a host, choosing a signer, walked with kesttool on a sample
# installation in a fresh Wine prefix of its own:
#   typical-road.sh <directory of the built DLLs and kesttool.exe> <work directory>
# The work directory is made anew: Wine prefix, installation directory (the DLLs,
# KestEnv.ini, our KestErr.csv, logging on). Prints every command and what it printed, then
# the log file converted from Shift_JIS to UTF-8, and its failure chains as log show gives them.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
bin=$(cd "$1" && pwd)
work=$2
samples=$source_dir/tests/mycert/data

rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
installation=$work/installation
mkdir -p "$installation"
for file in KestIni.dll KestLog.dll KestErr.dll KestCommon.dll KestMyCert.dll kesttool.exe; do
    cp "$bin/$file" "$installation/"
done
cp "$source_dir/KestErr/KestErr.csv" "$installation/"
: >"$installation/KestEnv.ini"

# Wine shows the Unix root as drive Z:.
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }
install_win=$(windows_path "$installation")

# The sample PKCS#12 files' password, handed over the way the tool takes it.
export KEST_SAMPLE_PASSWORD=KestTest-2024
export KEST_WRONG_PASSWORD=not-the-password
export KEST_WINE_BUILD_DIR=$work

kesttool() {
    printf '\n$ kesttool %s\n' "$*"
    status=0
    "$source_dir/cmake/wine-run.sh" "$installation/kesttool.exe" "$@" 2>&1 || status=$?
    [ "$status" -eq 0 ] || printf '(exit status %s)\n' "$status"
}

# A certificate's id, as the tool printed it when adding it ("added 1: <subject> (<id>)"): the
# name text in it is the platform's own.
added_id() { sed -n 's/^added [0-9]*: .* (\(.*\))\r*$/\1/p' "$work/$1.added" | sed -n 1p; }

printf 'Sample installation: %s\n' "$install_win"
kesttool install-dir "$install_win"
kesttool log on "$install_win\\kest.log"
kesttool log status
kesttool check-catalogue "$install_win\\KestErr.csv"
# quoted.p12's names hold the characters that every platform quotes.
for sample in signer quoted; do
    kesttool add-p12 "$(windows_path "$samples/$sample.p12")" --password-env KEST_SAMPLE_PASSWORD |
        tee "$work/$sample.added"
done
signer_id=$(added_id signer)
quoted_id=$(added_id quoted)
[ -n "$signer_id" ] && [ -n "$quoted_id" ] || { echo "typical-road.sh: a sample was not added" >&2; exit 1; }
kesttool list
kesttool mark "$signer_id"
kesttool mark "$quoted_id"
kesttool list
kesttool list --json
kesttool list-p12 "$(windows_path "$samples/signer.p12")" --password-env KEST_SAMPLE_PASSWORD
kesttool omit set
kesttool omit show
kesttool list-p12 "$(windows_path "$samples/signer.p12")" --password-env KEST_WRONG_PASSWORD
kesttool show-error 25000209 --auto-close
# Without --auto-close the box is shown, unless no display can show it (as in this prefix).
kesttool show-error 2500ffff
kesttool unmark "$quoted_id"
kesttool remove "$quoted_id"
kesttool list
# The signer goes while it is still a candidate, as when a certificate is replaced by hand:
# doctor finds its id stale (after log off, so that the road's log ends as it was).
kesttool remove "$signer_id"
kesttool log off
kesttool doctor

printf '\n--- %s, converted from Shift_JIS to UTF-8\n' "$install_win\\kest.log"
iconv -f CP932 -t UTF-8 "$installation/kest.log"
# What support reads first in a customer's log: the failures, each with its whole chain.
kesttool log show --errors "$install_win\\kest.log"
