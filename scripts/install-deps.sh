#!/usr/bin/env bash
# Installs what the build and its tests need on a Debian machine, only where missing.
# Usage: install-deps.sh [host|cross|wine|fuzz|sign|all]...
set -euo pipefail

want=()
for group in "${@:-all}"; do
  case "$group" in
    host) want+=(cmake g++ make libgtest-dev) ;;
    cross) want+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64) ;;
    wine) want+=(wine wine64 wine32:i386 xvfb xdotool fonts-nanum msitools wixl imagemagick x11-apps locales python3) ;;
    fuzz) want+=(clang libclang-rt-14-dev) ;;
    sign) want+=(osslsigncode openssl ca-certificates python3) ;;
    all) want+=(cmake g++ make libgtest-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64
                wine wine64 wine32:i386 xvfb xdotool fonts-nanum msitools wixl imagemagick x11-apps locales python3
                clang libclang-rt-14-dev osslsigncode openssl ca-certificates) ;;
    *) echo "install-deps: unknown group $group" >&2; exit 2 ;;
  esac
done

# The Korean end-to-end scenario runs Wine under LC_ALL=ko_KR.UTF-8, which
# glibc only honours once that locale has been generated.
need_korean_locale() {
  case " ${want[*]} " in *" locales "*) ;; *) return 1 ;; esac
  ! locale -a 2>/dev/null | grep -qix 'ko_KR.utf8'
}
make_korean_locale() {
  if need_korean_locale; then
    echo "install-deps: generating the ko_KR.UTF-8 locale"
    $SUDO localedef -i ko_KR -f UTF-8 ko_KR.UTF-8
  fi
}

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo

missing=()
for pkg in "${want[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  make_korean_locale
  exit 0
fi

for pkg in "${missing[@]}"; do
  if [[ "$pkg" == *:i386 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "install-deps: adding the i386 architecture for $pkg"
    $SUDO dpkg --add-architecture i386
  fi
done
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
make_korean_locale
