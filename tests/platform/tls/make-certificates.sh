#!/bin/sh
# Remakes the certificates the TLS tests of the URL session trust or refuse:
# a CA of their own, a server certificate for localhost / 127.0.0.1 and one
# for other.example, both from that CA. Run from this directory; the output
# is committed, so the tests need no openssl program of their own. Valid for
# a hundred years from the day they were made.
set -eu
days=36500
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -sha256 -days "$days" \
    -subj "/CN=Kova Test CA" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" -keyout ca.key -out ca.pem
make_server() { # name, subjectAltName
    openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=$1" -keyout "$1.key" -out "$1.csr"
    printf 'basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=serverAuth\nsubjectAltName=%s\n' "$2" > "$1.ext"
    openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -sha256 -days "$days" \
        -extfile "$1.ext" -out "$1.pem"
    rm "$1.csr" "$1.ext"
}
make_server localhost "DNS:localhost,IP:127.0.0.1"
make_server other.example "DNS:other.example"
# Nothing new is ever signed with the CA.
rm -f ca.key ca.srl
