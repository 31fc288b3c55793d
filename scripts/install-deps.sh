#!/usr/bin/env bash
# Installs what the build and its tests need on a Debian machine, only where missing.
# Usage: install-deps.sh [host|cross|wine|fuzz|sign|all]...
set -euo pipefail

want=()
fuzz=0
for group in "${@:-all}"; do
  case "$group" in
    host) want+=(cmake g++ make libgtest-dev) ;;
    cross) want+=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64) ;;
    wine) want+=(wine wine64 wine32:i386 xvfb xdotool fonts-nanum msitools wixl imagemagick x11-apps locales python3 nsis) ;;
    fuzz) want+=(clang); fuzz=1 ;;
    sign) want+=(osslsigncode openssl ca-certificates python3) ;;
    all) want+=(cmake g++ make libgtest-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64
                wine wine64 wine32:i386 xvfb xdotool fonts-nanum msitools wixl imagemagick x11-apps locales python3 nsis
                clang osslsigncode openssl ca-certificates); fuzz=1 ;;
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

# libFuzzer's runtime, for the clang that builds the harnesses: whether that clang already has it.
fuzzer_runtime_present() {
  command -v clang >/dev/null 2>&1 &&
    compgen -G "$(clang -print-resource-dir)/lib/*/libclang_rt.fuzzer*" >/dev/null
}
# Its package once the package lists are fresh: libclang-rt-N-dev for clang N (the installed clang,
# else the one the clang package brings), where the release has it; releases before Debian 12 ship
# the runtime in libclang-common-N-dev, which clang-N depends on, and so name nothing here.
fuzzer_runtime_package() {
  local major
  if command -v clang >/dev/null 2>&1; then
    major=$(clang -dumpversion | cut -d. -f1)
  else
    major=$(apt-cache depends clang 2>/dev/null | sed -n 's/^ *Depends: clang-\([0-9][0-9]*\)$/\1/p' | head -n 1 ||
              true)
  fi
  if [ -n "$major" ] && apt-cache show "libclang-rt-$major-dev" >/dev/null 2>&1; then
    echo "libclang-rt-$major-dev"
  fi
}

# Installing needs root: this script itself, or sudo.
SUDO=""
need_root() {
  if [ "$(id -u)" -eq 0 ]; then
    return
  fi
  if ! command -v sudo >/dev/null 2>&1; then
    echo "install-deps: $1, which needs root; run this as root or install sudo" >&2
    exit 1
  fi
  SUDO=sudo
}

# A mirror in the middle of a sync fails an index now and then: one more try after a pause, then
# the lists at hand (apt keeps the old copy of an index it could not fetch).
RETRY_PAUSE=${INSTALL_DEPS_RETRY_PAUSE:-15}
refresh_package_lists() {
  local out
  if out=$($SUDO apt-get update -qq 2>&1); then
    return
  fi
  echo "install-deps: apt-get update failed; trying once more in ${RETRY_PAUSE} s"
  sleep "$RETRY_PAUSE"
  if out=$($SUDO apt-get update -qq 2>&1); then
    return
  fi
  # The indexes as apt names them in its "Failed to fetch" lines, else its first error.
  local failed
  failed=$(printf '%s\n' "$out" | awk '/^E: Failed to fetch / {f = f (f ? "; " : "") substr($0, 4); next}
    /^E: / && !e {e = substr($0, 4)} {l = $0} END {print f ? f : (e ? e : l)}')
  echo "install-deps: apt-get update failed again (${failed}); going on with the package lists at hand"
}

installable() {
  $SUDO apt-get install -s -qq --no-install-recommends "$@" >/dev/null 2>&1
}
# Every missing package must install, but for the 32-bit Wine packages: without them (an i386 index
# that did not refresh leaves their dependencies behind the amd64 versions) this is a machine that
# runs no 32-bit program, whose end-to-end stage skips the 32-bit tests. Anything else stops here.
choose_installable() {
  if installable "${missing[@]}"; then
    return
  fi
  local rest=() wine32=() blocked=() pkg
  for pkg in "${missing[@]}"; do
    if [[ "$pkg" == wine32:i386 ]]; then wine32+=("$pkg"); else rest+=("$pkg"); fi
  done
  if [ ${#wine32[@]} -gt 0 ] && { [ ${#rest[@]} -eq 0 ] || installable "${rest[@]}"; }; then
    echo "install-deps: ${wine32[*]} cannot be installed; going on as a machine that runs no 32-bit" \
      "program (the 32-bit end-to-end tests are skipped)"
    missing=("${rest[@]}")
    return
  fi
  for pkg in "${rest[@]}"; do
    installable "$pkg" || blocked+=("$pkg")
  done
  [ ${#blocked[@]} -gt 0 ] || blocked=("${rest[@]}")
  echo "install-deps: cannot install ${blocked[*]} (apt-get install -s ${blocked[*]} tells why)" >&2
  exit 1
}

missing=()
for pkg in "${want[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done
need_runtime=0
if [ "$fuzz" -eq 1 ] && ! fuzzer_runtime_present; then
  need_runtime=1
fi
if [ ${#missing[@]} -eq 0 ] && [ "$need_runtime" -eq 0 ]; then
  if need_korean_locale; then
    need_root "the ko_KR.UTF-8 locale has to be generated"
  fi
  make_korean_locale
  exit 0
fi
what="${missing[*]}"
if [ "$need_runtime" -eq 1 ]; then
  what="${what:+$what and }libFuzzer's runtime"
fi
need_root "missing: $what"

for pkg in "${missing[@]}"; do
  if [[ "$pkg" == *:i386 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "install-deps: adding the i386 architecture for $pkg"
    $SUDO dpkg --add-architecture i386
  fi
done
refresh_package_lists
if [ "$need_runtime" -eq 1 ]; then
  runtime=$(fuzzer_runtime_package)
  if [ -n "$runtime" ]; then
    missing+=("$runtime")
  elif [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: no package of this release holds libFuzzer's runtime for $(command -v clang)" >&2
    exit 1
  fi
fi
choose_installable
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
make_korean_locale
