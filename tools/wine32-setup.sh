#!/usr/bin/env bash
# Makes Wine run 32-bit programs here, for the tests of the 32-bit program:
# Debian's wine32:i386 and, where this machine's kernel runs no 32-bit
# programs (some have that switched off at boot), qemu's user emulation for
# Wine's 32-bit loader, registered with the kernel's binfmt_misc. Debian 12's
# own qemu (7.2) often fails under Wine; the one from bookworm-backports
# (10.x) is taken. Safe to run again; run by tools/setup.sh wine32.
. "$(dirname "$0")/lib.sh"

loader32=/usr/lib/wine/wine
runs_32bit() { WINEDEBUG=-all "$loader32" --version >/dev/null 2>&1; }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "wine32-setup: adding the i386 architecture to dpkg"
  locstr_as_root dpkg --add-architecture i386
fi
locstr_install_missing wine32-setup wine32:i386
if runs_32bit; then
  echo "wine32-setup: Wine's 32-bit loader runs"
  exit 0
fi

# bookworm-backports, as one more suite of the Debian source that apt already
# uses (deb822 or one-line form).
backports_enabled() { apt-cache policy 2>/dev/null | grep -q 'bookworm-backports/main'; }
if ! backports_enabled; then
  deb822=/etc/apt/sources.list.d/debian.sources
  suites='^Suites:(.* )?bookworm( |$)'
  if [ -f "$deb822" ] && grep -qE "$suites" "$deb822"; then
    echo "wine32-setup: adding the suite bookworm-backports to $deb822"
    locstr_as_root sed -i -E "/$suites/ s/\$/ bookworm-backports/" "$deb822"
  elif line=$(grep -hE '^deb [^ ]+ bookworm main' /etc/apt/sources.list 2>/dev/null | head -n 1); then
    echo "wine32-setup: adding bookworm-backports to /etc/apt/sources.list"
    echo "${line/ bookworm / bookworm-backports }" |
      locstr_as_root tee -a /etc/apt/sources.list >/dev/null
  else
    locstr_die "wine32-setup: found no Debian 12 (bookworm) source in apt's sources to add bookworm-backports to"
  fi
  quiet locstr_as_root apt-get update -qq
  backports_enabled || locstr_die "wine32-setup: apt does not list bookworm-backports after adding it"
fi
version=$(dpkg-query -W -f='${Version}' qemu-user-static 2>/dev/null) || version=""
if [ -z "$version" ] || dpkg --compare-versions "$version" lt 1:10; then
  [ -z "$version" ] || echo "wine32-setup: qemu-user-static $version is too old for Wine; taking the backport"
  quiet locstr_as_root apt-get remove -y -qq qemu-user-static 2>/dev/null || true
  APT_TARGET_RELEASE=bookworm-backports locstr_install_missing wine32-setup qemu-user-static
fi

# The kernel hands 32-bit x86 programs to qemu. The F flag opens the
# interpreter now, so the entry works in any mount namespace too.
binfmt=/proc/sys/fs/binfmt_misc
if [ ! -e "$binfmt/register" ]; then
  locstr_as_root mount -t binfmt_misc binfmt_misc "$binfmt" ||
    locstr_die "wine32-setup: binfmt_misc cannot be mounted on $binfmt, so qemu cannot run 32-bit programs here"
fi
if [ -e "$binfmt/qemu-i386" ]; then
  echo -1 | locstr_as_root tee "$binfmt/qemu-i386" >/dev/null
fi
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
echo "wine32-setup: registering /usr/bin/qemu-i386-static for 32-bit x86 programs"
echo ":qemu-i386:M::$magic:$mask:/usr/bin/qemu-i386-static:F" |
  locstr_as_root tee "$binfmt/register" >/dev/null
runs_32bit || locstr_die "wine32-setup: Wine's 32-bit loader ($loader32) still does not run, under qemu-i386-static"
echo "wine32-setup: Wine's 32-bit loader runs, under qemu's user emulation"
