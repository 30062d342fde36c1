# The openssl steps that the test data scripts share, sourced by them: issue makes a
# certificate (its key in $work, its DER file in $out), signed by the ca that was issued
# first in $work, or self-signed.
#
# Sourced, not run: it needs the caller's $work (a temporary folder) and $out (where the
# DER files go).

# A throwaway `openssl ca` database per certificate, so that twins may share a serial.
# ca_config DIR [STRING_MASK]: also the request's configuration.
ca_config() {
    cat <<EOF
string_mask = ${2:-nombstr}
[req]
distinguished_name = request_name
[request_name]
[ca]
default_ca = kest
[kest]
dir = $1
database = \$dir/index.txt
serial = \$dir/serial
new_certs_dir = \$dir
default_md = sha256
policy = anything
unique_subject = no
copy_extensions = none
[anything]
countryName = optional
organizationName = optional
organizationalUnitName = optional
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
EOF
}

# issue NAME SERIAL SUBJECT START END [selfsign | KEY-OF | -] [STRING_MASK]
issue() {
    name=$1 serial=$2 subject=$3 start=$4 end=$5
    db=$work/db-$name
    mkdir -p "$db"
    : >"$db/index.txt"
    echo "$serial" >"$db/serial"
    ca_config "$db" "${7:-}" >"$db/ca.cnf"
    case "${6:-}" in
    "" | - | selfsign) openssl genrsa -out "$work/$name.key" 2048 2>/dev/null ;;
    *) cp "$work/$6.key" "$work/$name.key" ;;
    esac
    openssl req -new -config "$db/ca.cnf" -key "$work/$name.key" -subj "$subject" -utf8 -out "$work/$name.csr"
    if [ "${6:-}" = selfsign ]; then
        openssl ca -batch -config "$db/ca.cnf" -selfsign -keyfile "$work/$name.key" \
            -extensions ca_ext -startdate "$start" -enddate "$end" -notext -utf8 \
            -in "$work/$name.csr" -out "$work/$name.pem" 2>/dev/null
    else
        openssl ca -batch -config "$db/ca.cnf" -cert "$work/ca.pem" -keyfile "$work/ca.key" \
            -extensions leaf_ext -startdate "$start" -enddate "$end" -notext -utf8 \
            -in "$work/$name.csr" -out "$work/$name.pem" 2>/dev/null
    fi
    openssl x509 -in "$work/$name.pem" -outform DER -out "$out/$name.der"
}
