#!/usr/bin/env bash
# Makes the certificates of the TLS tests in DIR with the openssl command:
#   ca.pem               a test CA (ca.key), the trust anchor the tests add with CAFile
#   server.pem/key       valid for 127.0.0.1 and localhost, signed by the test CA
#   expired.pem          the same names, valid only in January 2020
#   future.pem           the same names, valid only from 2099
#   wronghost.pem        signed by the test CA for www.example.com only
#   selfsigned.pem       for 127.0.0.1 and localhost, signed by its own key
#   unknownca.pem        for 127.0.0.1 and localhost, signed by a CA nobody trusts
#   google.pem           signed by the test CA for Google's token and API hosts, which the
#                        simulator plays inside CONNECT tunnels
#   account.key          an RSA key (PKCS#8 PEM) for the service accounts of the Google tests
#   other-account.key    another RSA key, which the simulator does not know
# Every server certificate uses server.key. EC keys keep this quick.
set -euo pipefail
dir=$1
mkdir -p "$dir"
cd "$dir"
quiet() { "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; "$@"; exit 1; }; }

key() { quiet openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1"; }
key ca.key
key other-ca.key
key server.key
quiet openssl req -x509 -key ca.key -out ca.pem -days 3650 -subj "/CN=Larkspan Test CA" \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign
quiet openssl req -x509 -key other-ca.key -out other-ca.pem -days 3650 -subj "/CN=Unknown Test CA" \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign
quiet openssl req -new -key server.key -out server.csr -subj "/CN=localhost"
printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' > local.ext
printf 'subjectAltName=DNS:www.example.com\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' > other.ext

mkdir -p db
: > db/index.txt
echo 1000 > db/serial
cat > ca.cnf <<'CNF'
[ca]
default_ca = test
[test]
dir = .
database = db/index.txt
serial = db/serial
new_certs_dir = db
certificate = ca.pem
private_key = ca.key
default_md = sha256
policy = any
unique_subject = no
copy_extensions = none
[any]
commonName = supplied
CNF
sign() { # OUT EXTFILE START END [CA-CERT CA-KEY]
  quiet openssl ca -batch -notext -config ca.cnf -in server.csr -out "$1" -extfile "$2" \
    -startdate "$3" -enddate "$4" ${5:+-cert "$5" -keyfile "$6"}
}
sign server.pem local.ext 20200101000000Z 20991231000000Z
sign expired.pem local.ext 20200101000000Z 20200201000000Z
sign future.pem local.ext 20990101000000Z 20991231000000Z
sign wronghost.pem other.ext 20200101000000Z 20991231000000Z
printf 'subjectAltName=DNS:oauth2.googleapis.com,DNS:www.googleapis.com\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' > google.ext
sign google.pem google.ext 20200101000000Z 20991231000000Z
sign unknownca.pem local.ext 20200101000000Z 20991231000000Z other-ca.pem other-ca.key
quiet openssl req -x509 -key server.key -out selfsigned.pem -days 3650 -subj "/CN=localhost" \
  -addext subjectAltName=DNS:localhost,IP:127.0.0.1
rsa() { quiet openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$1"; }
rsa account.key
rsa other-account.key
