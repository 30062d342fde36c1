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
#   <name>.der    the certificate alone
#   <name>.p12    the certificate with its key (no chain), AES-256/PBKDF2; password "KestTest-2024"
set -eu

password=KestTest-2024
out=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/ca.cnf" <<CONFIG
[req]
distinguished_name = dn
string_mask = nombstr
[dn]
[ca]
default_ca = kest
[kest]
dir = $work
database = \$dir/index.txt
serial = \$dir/serial
new_certs_dir = \$dir
default_md = sha256
policy = anything
unique_subject = no
copy_extensions = none
string_mask = nombstr
preserve = yes
[anything]
countryName = optional
organizationName = optional
commonName = supplied
[ca_ext]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[leaf_ext]
basicConstraints = CA:false
keyUsage = critical, digitalSignature, nonRepudiation
authorityKeyIdentifier = keyid
subjectKeyIdentifier = hash
CONFIG
: >"$work/index.txt"

# issue NAME SERIAL COMMON-NAME START END [selfsign]
issue() {
    name=$1 serial=$2 common_name=$3 start=$4 end=$5
    echo "$serial" >"$work/serial"
    openssl genrsa -out "$work/$name.key" 2048 2>/dev/null
    openssl req -new -config "$work/ca.cnf" -key "$work/$name.key" -subj "/C=JP/O=Kest Test/CN=$common_name" \
        -out "$work/$name.csr"
    if [ "${6:-}" = selfsign ]; then
        set -- -selfsign -keyfile "$work/$name.key" -extensions ca_ext
    else
        set -- -cert "$work/ca.pem" -keyfile "$work/ca.key" -extensions leaf_ext
    fi
    openssl ca -batch -config "$work/ca.cnf" "$@" -startdate "$start" -enddate "$end" -notext \
        -in "$work/$name.csr" -out "$work/$name.pem" 2>/dev/null
    openssl x509 -in "$work/$name.pem" -outform DER -out "$out/$name.der"
}

issue ca 01 "Kest Doctor CA" 20240101000000Z 20491231235959Z selfsign
issue current 0D01 "Kest Doctor Signer" 20240101000000Z 20491231235959Z
issue renewed 0D02 "Kest Doctor Signer" 20240601000000Z 20491231235959Z
issue colleague 0D03 "Kest Doctor Colleague" 20240101000000Z 20491231235959Z
issue expired 0D04 "Kest Doctor Expired" 20200101000000Z 20211231235959Z

for name in current renewed colleague expired; do
    openssl pkcs12 -export -in "$work/$name.pem" -inkey "$work/$name.key" -name "$name" \
        -passout "pass:$password" -out "$out/$name.p12"
done
rm -f "$out/ca.der"  # only the issuer's name matters to the tests

echo "made in $out:"
ls -l "$out"
