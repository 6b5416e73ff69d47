#!/usr/bin/env bash
# Makes the demo's TLS files in DIR with the openssl command, unless they are there already:
#   ca.pem, ca.key       the demo CA, which the program is told to trust (--cacert)
#   server.pem, .key     the certificate the engine simulator shows for every host it plays:
#                        the IndexNow endpoints, Google's token and API hosts, the demo
#                        sites, localhost and 127.0.0.1
#   google-account.key   the RSA key of the demo's Google service account
# EC keys keep this quick. Files made before the Google hosts were named are made anew.
set -euo pipefail
dir=$1
[ -s "$dir/server.pem" ] && [ -s "$dir/google-account.key" ] && grep -q searchconsole.googleapis "$dir/server.ext" && exit 0
mkdir -p "$dir"
cd "$dir"
quiet() { "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; "$@"; exit 1; }; }
quiet openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out ca.key
quiet openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out server.key
quiet openssl req -x509 -key ca.key -out ca.pem -days 3650 -subj "/CN=Larkspan Demo CA" \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign
quiet openssl req -new -key server.key -out server.csr -subj "/CN=api.indexnow.org"
names=DNS:api.indexnow.org,DNS:www.bing.com,DNS:yandex.com,DNS:oauth2.googleapis.com,DNS:www.googleapis.com,DNS:searchconsole.googleapis.com
names=$names,DNS:www.example.com,DNS:www.example.net,DNS:www.example.org,DNS:localhost,IP:127.0.0.1
printf '%s\n' "subjectAltName=$names" basicConstraints=CA:FALSE extendedKeyUsage=serverAuth > server.ext
quiet openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out server.pem \
  -days 825 -extfile server.ext
quiet openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out google-account.key
