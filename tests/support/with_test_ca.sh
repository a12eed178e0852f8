#!/usr/bin/env bash
# Runs a command with the test CA of the peers fixture among the system's
# trusted roots: in a mount namespace of its own, the host's CA bundle is
# replaced by a copy with the CA appended. Wine's crypt32 builds its root
# store from that bundle in each process, as Windows takes its roots from
# its own store; nothing outside the namespace sees the CA.
# Usage: with_test_ca.sh CA_PEM COMMAND [ARGS...]
set -euo pipefail
ca=$1
shift
bundle=/etc/ssl/certs/ca-certificates.crt
copy=$(mktemp --suffix=.crt)
trap 'rm -f "$copy"' EXIT
cat "$bundle" "$ca" > "$copy"
# Root may make a mount namespace; anyone else, inside a user namespace.
how=-m
unshare -m true 2>/dev/null || how=-rm
unshare $how bash -c 'mount --bind "$1" "$2" && shift 2 && exec "$@"' with-test-ca "$copy" "$bundle" "$@"
