#!/usr/bin/env bash
# Signs programs with Authenticode (SHA-256) and puts the signed copies into a folder: all or none.
# Usage: SIGN_PFX=key.pfx SIGN_PASSWORD_FILE=pass.txt [SIGN_TIMESTAMP_URL=url] sign.sh OUTDIR FILE...
# Every FILE is signed into a temporary folder and its signature verified there; only when all
# have succeeded do the signed files replace those in OUTDIR, so a failure leaves OUTDIR as it was.
set -euo pipefail

die() {
  echo "sign: $*" >&2
  exit 1
}

[ $# -ge 2 ] || die "usage: SIGN_PFX=... SIGN_PASSWORD_FILE=... sign.sh OUTDIR FILE..."
out=$1
shift
pfx=${SIGN_PFX:-}
pass=${SIGN_PASSWORD_FILE:-}
tsa=${SIGN_TIMESTAMP_URL:-}
[ -n "$pfx" ] || die "SIGN_PFX is not set: name the PKCS#12 (.pfx) file with the code-signing key"
[ -n "$pass" ] || die "SIGN_PASSWORD_FILE is not set: name a file holding the password of $pfx"
[ -f "$pfx" ] && [ -r "$pfx" ] || die "SIGN_PFX: cannot read $pfx"
[ -f "$pass" ] && [ -r "$pass" ] || die "SIGN_PASSWORD_FILE: cannot read $pass"
[ -d "$out" ] || die "$out is not a folder"
for f in "$@"; do
  [ -f "$f" ] || die "$f does not exist: build it first"
done
command -v osslsigncode >/dev/null || die "osslsigncode is missing: run scripts/install-deps.sh sign"

work=$(mktemp -d "${TMPDIR:-/tmp}/stagerun-sign.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Opening the PFX checks the password before anything is signed, and gives its certificates,
# which the verification trusts beside the system's roots (so a self-issued certificate verifies).
if ! openssl pkcs12 -in "$pfx" -passin "file:$pass" -nokeys -out "$work/certs.pem" 2>"$work/log" &&
  ! openssl pkcs12 -legacy -in "$pfx" -passin "file:$pass" -nokeys -out "$work/certs.pem" \
    2>>"$work/log"; then
  die "cannot open $pfx with the password in $pass: wrong password, or not a PKCS#12 file" \
    "($(grep -m1 -i -E 'error|invalid|mac' "$work/log" || true)); nothing was signed"
fi
cp "$work/certs.pem" "$work/trust.pem"
roots=/etc/ssl/certs/ca-certificates.crt
if [ -r "$roots" ]; then cat "$roots" >>"$work/trust.pem"; fi

for f in "$@"; do
  name=$(basename "$f")
  args=(sign -pkcs12 "$pfx" -readpass "$pass" -h sha256 -n StageRun)
  [ -z "$tsa" ] || args+=(-ts "$tsa")
  if ! osslsigncode "${args[@]}" -in "$f" -out "$work/$name" >"$work/log" 2>&1; then
    die "signing $name failed; nothing was signed: $(tail -n 3 "$work/log" | tr '\n' ' ')"
  fi
  if ! osslsigncode verify -CAfile "$work/trust.pem" -in "$work/$name" >"$work/log" 2>&1; then
    die "the signature of $name does not verify; nothing was signed: $(tail -n 3 "$work/log" | tr '\n' ' ')"
  fi
  chmod --reference="$f" "$work/$name"
  echo "sign: $name signed and verified"
done

# Copy next to the targets first, then rename each into place.
for f in "$@"; do
  name=$(basename "$f")
  cp "$work/$name" "$out/.$name.signed"
done
for f in "$@"; do
  name=$(basename "$f")
  mv -f "$out/.$name.signed" "$out/$name"
done
