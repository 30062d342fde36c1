#!/bin/sh
# Makes the certificates of the doctor tests (run by hand; the outputs are committed so that
# the tests need no openssl). Names are PrintableStrings; keys are new on every run, so
# rerunning changes the bytes but nothing a test checks (the tests take ids and names from
# the library's lists, never as texts of their own).
#
#   ca            CN=Kest Doctor CA, O=Kest Test, C=JP; self-signed, serial 01
#   current       CN=Kest Doctor Signer, O=Kest Test, C=JP; serial 0d01, valid 2024 to 2049
#   renewed       the same subject and issuer as current, serial 0d02, another key: its renewal
#   colleague     CN=Kest Doctor Colleague, O=Kest Test, C=JP; serial 0d03: same issuer, other subject
#   expired       CN=Kest Doctor Expired, O=Kest Test, C=JP; serial 0d04, valid 2020 to 2021
#   expired-renewal  the same subject and issuer as expired, serial 0d05, valid 2022 to 2049
#   reissued      expired reissued by an in-house CA under the same serial 0d04, another key,
#                 valid 2022 to 2049: one id for two certificates
#   <name>.der    the certificate alone
#   <name>.p12    the certificate with its key (no chain), AES-256/PBKDF2; password "KestTest-2024"
set -eu

password=KestTest-2024
out=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The same steps as the certificate tests' data.
. "$out/../../mycert/data/certificate-steps.sh"

issue ca 01 "/C=JP/O=Kest Test/CN=Kest Doctor CA" 20240101000000Z 20491231235959Z selfsign
issue current 0D01 "/C=JP/O=Kest Test/CN=Kest Doctor Signer" 20240101000000Z 20491231235959Z
issue renewed 0D02 "/C=JP/O=Kest Test/CN=Kest Doctor Signer" 20240601000000Z 20491231235959Z
issue colleague 0D03 "/C=JP/O=Kest Test/CN=Kest Doctor Colleague" 20240101000000Z 20491231235959Z
issue expired 0D04 "/C=JP/O=Kest Test/CN=Kest Doctor Expired" 20200101000000Z 20211231235959Z
issue expired-renewal 0D05 "/C=JP/O=Kest Test/CN=Kest Doctor Expired" 20220101000000Z 20491231235959Z
issue reissued 0D04 "/C=JP/O=Kest Test/CN=Kest Doctor Expired" 20220101000000Z 20491231235959Z

for name in current renewed colleague expired expired-renewal reissued; do
    openssl pkcs12 -export -in "$work/$name.pem" -inkey "$work/$name.key" -name "$name" \
        -passout "pass:$password" -out "$out/$name.p12"
done
rm -f "$out/ca.der"  # only the issuer's name matters to the tests

echo "made in $out:"
ls -l "$out"
