#!/usr/bin/env bash
# scripts/install-deps.sh against an apt whose index refresh fails and some of whose packages
# cannot be installed: stand-ins for apt-get, dpkg-query and dpkg earlier on PATH, nothing of the
# machine's own apt touched. Cases: refresh failures, packages that cannot install, exit code,
# what the script says, what it installed.
set -u
here=$(cd "$(dirname "$0")" && pwd)
script="$here/../../scripts/install-deps.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
cat >"$work/bin/apt-get" <<'STUB'
#!/usr/bin/env bash
echo "$*" >>"$FAKE/calls"
case "$1" in
  update)
    n=$(cat "$FAKE/update-fails"); echo $((n - 1)) >"$FAKE/update-fails"
    if [ "$n" -gt 0 ]; then
      echo "E: Failed to fetch http://mirror.invalid/dists/sec/main/binary-i386/Packages.xz  File has unexpected size (1 != 2). Mirror sync in progress?"
      echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
      exit 100
    fi ;;
  install)
    for a in "$@"; do case " $FAKE_BROKEN " in *" $a "*) exit 100 ;; esac; done
    case " $* " in *" -s "*) ;; *) shift; echo "$*" >>"$FAKE/installed" ;; esac ;;
esac
STUB
printf '#!/bin/sh\nexit 1\n' >"$work/bin/dpkg-query"
printf '#!/bin/sh\necho i386\n' >"$work/bin/dpkg"
printf '#!/bin/sh\necho ko_KR.utf8\n' >"$work/bin/locale"
chmod +x "$work/bin/"*

failed=0
# update failures | packages that cannot install | exit code | said (a line that must appear) | installed (a
# package that must be, ! one that must not) | how many times apt-get update ran (empty: not counted)
while IFS='|' read -r fails broken code said installed updates; do
  [ -n "$fails" ] || continue
  echo "$fails" >"$work/update-fails"
  : >"$work/installed"
  : >"$work/calls"
  out=$(PATH="$work/bin:$PATH" FAKE="$work" FAKE_BROKEN="$broken" INSTALL_DEPS_RETRY_PAUSE=0 \
        bash "$script" wine 2>&1)
  got=$?
  ok=1
  [ "$got" -eq "$code" ] || ok=0
  grep -qF -- "$said" <<<"$out" || ok=0
  case "$installed" in
    !*) ! grep -qw -- "${installed#!}" "$work/installed" || ok=0 ;;
    *) grep -qw -- "$installed" "$work/installed" || ok=0 ;;
  esac
  ran=$(grep -c '^update' "$work/calls")
  [ -z "$updates" ] || [ "$ran" -eq "$updates" ] || ok=0
  if [ "$ok" -eq 0 ]; then
    failed=$((failed + 1))
    echo "FAILED: update fails $fails, broken '$broken': exit $got (want $code), want '$said', installed '$installed', updates $ran (want ${updates:-any})"
    echo "$out" | sed 's/^/    /'
    echo "    installed: $(cat "$work/installed")"
  fi
done <<'CASES'
1||0|trying once more|wine32:i386
2||0|failed again (Failed to fetch http://mirror.invalid/dists/sec/main/binary-i386/Packages.xz|wine32:i386
2|wine32:i386|0|wine32:i386 cannot be installed; going on as a machine that runs no 32-bit|!wine32:i386
2|wine32:i386|0|installing wine wine64 xvfb|xdotool
0|xvfb|1|cannot install xvfb (|!wine
0|wine32:i386 nsis|1|cannot install nsis (|!wine
1||0|trying once more|wine32:i386|2
CASES
[ "$failed" -eq 0 ] && echo "install-deps decisions: all cases passed"
exit $((failed > 0))
