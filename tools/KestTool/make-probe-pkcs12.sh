#!/bin/sh
# Makes ProbePkcs12.h: a tiny PKCS#12 file (one self-signed certificate with its 1024-bit RSA key) with a known
# password, by which kesttool asks the platform whether its PFXVerifyPassword accepts a right
# password. Run by hand; the header is committed so that building needs no openssl.
set -eu

password=KestProbe
out=$(cd "$(dirname "$0")" && pwd)/ProbePkcs12.h
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

openssl req -x509 -newkey rsa:1024 -nodes -keyout "$work/key.pem" \
    -subj "/CN=Kest Probe" -days 1 -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -passout "pass:$password" -out "$work/probe.p12"

{
    echo "// Made by make-probe-pkcs12.sh: a PKCS#12 file holding one certificate with its key."
    echo "#pragma once"
    echo
    echo "namespace kest::tool {"
    echo
    echo "inline constexpr wchar_t kProbePkcs12Password[] = L\"$password\";"
    echo
    echo "// The bytes as od lays them out."
    echo "// clang-format off"
    echo "inline constexpr unsigned char kProbePkcs12[] = {"
    od -An -v -tx1 "$work/probe.p12" | sed 's/ *\([0-9a-f][0-9a-f]\)/0x\1, /g; s/^/   /; s/, *$/,/'
    echo "};"
    echo "// clang-format on"
    echo
    echo "}  // namespace kest::tool"
} >"$out"
