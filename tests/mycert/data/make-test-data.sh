#!/bin/sh
# Makes the certificates and PKCS#12 files of the KestMyCert tests (run by hand; the outputs
# are committed so that the tests need no openssl). Serial numbers, names and validity are
# fixed; keys are new on every run, so rerunning changes the bytes but nothing a test checks.
#
#   ca.der            CN=Kest Test CA, O=Kest Test, C=JP; self-signed, serial 01
#   signer.der        CN=Kest Signer, O=Kest Test, C=JP; serial 01 2a,
#                     valid 2024-01-05 00:00:00 UTC to 2034-01-05 00:00:00 UTC
#   quoted.der        CN=Suzuki, Ichiro / OU=R&D "Lab" / O=Kest Test / C=JP (characters the
#                     platform's name text quotes); serial 10 01
#   twin-a.der        CN=Kest Twin, O=Kest Test, C=JP; serial 20 02
#   twin-b.der        the same issuer and serial as twin-a, another key
#   twin-a-renewed.der the same issuer, serial and key as twin-a, another validity: a second
#                     certificate that counts as the same one (a store keeps both)
#   <name>.p12        the certificate with its key plus ca without key, AES-256/PBKDF2
#                     (openssl 3 default); password "KestTest-2024"
#   signer-legacy.p12 signer the old way (RC2-40/3DES, SHA-1 MAC), same password
#   long-name.der     self-signed, serial 30 03, subject (and so issuer) of 64 OUs: a name
#                     text of over 4 KiB, longer than any certificate id may be
#   long-name.p12     long-name with its key alone, same password
#   utf8-names.der    CN=Kest UTF8 (with a trailing space), O=Kest Test, C=JP as UTF8Strings
#                     (a value with an inner space, and one with a trailing space); serial 40 04
#   utf8-names.p12    utf8-names with its key plus ca without key, same password
#
# Names are PrintableStrings (TeletexString where a value holds characters PrintableString
# lacks, as quoted's OU), whose text Windows and Wine 8.0 write alike; only utf8-names has
# UTF8Strings, whose quoting Wine 8.0 gets wrong.
#
# `make-test-data.sh long-name` makes only the long-name files and leaves the others as they are.
#
# `openssl pkcs12 -export` puts one key into a file, so a list of several certificates with
# keys is made by importing several files.
set -eu

password=KestTest-2024
out=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

. "$out/certificate-steps.sh"

# pkcs12 NAME OUTPUT [extra openssl options]
pkcs12() {
    name=$1 output=$2
    shift 2
    openssl pkcs12 -export "$@" -in "$work/$name.pem" -inkey "$work/$name.key" -certfile "$work/ca.pem" \
        -name "$name" -passout "pass:$password" -out "$out/$output"
}

long_name() {
    subject="/C=JP/O=Kest Test"
    for unit in $(seq -w 1 64); do
        subject="$subject/OU=Kest Long Name Organizational Unit Number $unit of sixty-four"
    done
    issue long-name 3003 "$subject/CN=Kest Long Name" 20240101000000Z 20491231235959Z selfsign
    openssl pkcs12 -export -in "$work/long-name.pem" -inkey "$work/long-name.key" -name long-name \
        -passout "pass:$password" -out "$out/long-name.p12"
}

if [ "${1:-}" = long-name ]; then
    long_name
    ls -l "$out"/long-name.*
    exit 0
fi

issue ca 01 "/C=JP/O=Kest Test/CN=Kest Test CA" 20240101000000Z 20491231235959Z selfsign
issue signer 012A "/C=JP/O=Kest Test/CN=Kest Signer" 20240105000000Z 20340105000000Z
issue quoted 1001 '/C=JP/O=Kest Test/OU=R&D "Lab"/CN=Suzuki, Ichiro' 20240101000000Z 20491231235959Z
issue twin-a 2002 "/C=JP/O=Kest Test/CN=Kest Twin" 20240101000000Z 20491231235959Z
issue twin-b 2002 "/C=JP/O=Kest Test/CN=Kest Twin" 20240101000000Z 20491231235959Z
issue twin-a-renewed 2002 "/C=JP/O=Kest Test/CN=Kest Twin" 20240101000000Z 20391231235959Z twin-a
issue utf8-names 4004 "/C=JP/O=Kest Test/CN=Kest UTF8 " 20240101000000Z 20491231235959Z - utf8only

pkcs12 signer signer.p12
pkcs12 signer signer-legacy.p12 -legacy
pkcs12 quoted quoted.p12
pkcs12 twin-a twin-a.p12
pkcs12 twin-b twin-b.p12
pkcs12 utf8-names utf8-names.p12
long_name

echo "made in $out:"
ls -l "$out"
