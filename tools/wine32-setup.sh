#!/usr/bin/env bash
# Makes Wine run 32-bit programs here, for the tests of the 32-bit program
# (tools/test.sh's windows32 step; by hand: bash tools/setup.sh wine32):
# Debian's wine32:i386 and, only where the kernel cannot execute its loader at
# all ("Exec format error": some machines boot with 32-bit emulation off),
# qemu's user emulation registered with binfmt_misc for 32-bit x86 programs.
# Debian 12's qemu 7.2 often fails under Wine: qemu-user-static is upgraded in
# place from bookworm-backports, a suite added to apt's Debian source unless
# its text lists it. A second run changes nothing. A failing step says what
# failed and how to repair it, and takes back this run's changes to apt's
# sources and binfmt_misc.
# shellcheck source=wine-env.sh
. "$(dirname "$0")/wine-env.sh"
die() { locstr_die "wine32-setup: failed: $1"$'\n'"repair: $2"; }
again="then run bash tools/setup.sh wine32"

if [ "$(locstr_wine32_installed)" = no ]; then
  grep -qx i386 <<<"$(dpkg --print-foreign-architectures)" || locstr_as_root dpkg --add-architecture i386
  locstr_install_missing wine32-setup wine32:i386
fi
status=0
probe=$(locstr_wine32_probe) || status=$?
[ "$status" -ne 0 ] || { echo "wine32-setup: Wine's 32-bit loader runs"; exit 0; }
# bash says "Exec format error" (status 126) only when the kernel has no way
# to execute the file; qemu would not mend any other failure.
[[ $status -eq 126 && $probe == *"Exec format error"* ]] ||
  die "Wine's 32-bit loader fails (status $status), though this kernel can execute it: ${probe//$'\n'/ }" \
    "reinstall it, as root (apt-get install --reinstall wine32:i386 libwine:i386), $again"
echo "wine32-setup: this kernel cannot execute 32-bit programs; setting up qemu's user emulation"

work=$(mktemp -d)
locstr_at_exit "rm -rf $(printf %q "$work")"
# Adds bookworm-backports to the Debian 12 source unless the text of apt's
# sources lists it; the file is put back unless qemu from there installs.
enable_backports() {
  local deb822=/etc/apt/sources.list.d/debian.sources list=/etc/apt/sources.list file line
  ! grep -qsE '^Suites:(.* )?bookworm-backports( |$)' "$deb822" || return 0
  ! grep -qsE '^deb .* bookworm-backports( |$)' "$list" /etc/apt/sources.list.d/*.list || return 0
  if grep -qsE '^Suites:(.* )?bookworm( |$)' "$deb822"; then
    file=$deb822
  elif line=$(grep -hsE -m1 '^deb [^ ]+ bookworm main' "$list"); then
    file=$list
  else
    die "found no Debian 12 (bookworm) source in apt's sources" "add the suite bookworm-backports yourself, $again"
  fi
  cp "$file" "$work/sources"
  locstr_at_exit "[ ! -f $(printf %q "$work/sources") ] || { locstr_as_root cp $(printf %q "$work/sources") $(printf %q "$file") && echo 'wine32-setup: $file is as it was again'; }"
  echo "wine32-setup: adding the suite bookworm-backports to $file"
  if [ "$file" = "$deb822" ]; then
    sed -E '/^Suites:(.* )?bookworm( |$)/ s/$/ bookworm-backports/' "$work/sources"
  else
    cat "$work/sources"
    echo "${line/ bookworm / bookworm-backports }"
  fi | locstr_as_root tee "$file" >/dev/null
  quiet locstr_as_root apt-get update -qq ||
    die "apt-get update failed with bookworm-backports added (above)" "check the network and apt's mirror, $again"
}
qemu_version() { dpkg-query -W -f='${Version}' qemu-user-static 2>/dev/null || true; }
version=$(qemu_version)
if ! dpkg --compare-versions "${version:-0}" ge 1:10; then
  enable_backports
  echo "wine32-setup: installing qemu-user-static from bookworm-backports${version:+ over $version}"
  quiet locstr_as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    --no-install-recommends -t bookworm-backports qemu-user-static ||
    die "qemu-user-static from bookworm-backports did not install (above)" "mend what apt-get said, $again"
  version=$(qemu_version)
  dpkg --compare-versions "${version:-0}" ge 1:10 ||
    die "apt installed qemu-user-static ${version:-(none)}, not 10 or later" "install qemu-user-static 10 or later, $again"
  rm -f "$work/sources"
fi

# The F flag opens the interpreter now, so the entry works in any mount
# namespace too.
binfmt=/proc/sys/fs/binfmt_misc
[ -e "$binfmt/register" ] || locstr_as_root mount -t binfmt_misc binfmt_misc "$binfmt" ||
  die "binfmt_misc cannot be mounted on $binfmt (an unprivileged container?)" "mount it from the host, $again"
[ ! -e "$binfmt/qemu-i386" ] ||
  die "binfmt_misc has a qemu-i386 entry that does not run the loader: $(tr '\n' ' ' <"$binfmt/qemu-i386")" \
    "remove it if it is stale (echo -1 > $binfmt/qemu-i386), $again"
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
echo "wine32-setup: registering qemu-i386-static for 32-bit x86 programs"
echo ":qemu-i386:M::$magic:$mask:/usr/bin/qemu-i386-static:F" | locstr_as_root tee "$binfmt/register" >/dev/null
status=0
probe=$(locstr_wine32_probe) || status=$?
if [ "$status" -ne 0 ]; then
  echo -1 | locstr_as_root tee "$binfmt/qemu-i386" >/dev/null
  die "Wine's 32-bit loader still fails under qemu (status $status), so its registration is removed again: ${probe//$'\n'/ }" \
    "install a newer qemu-user-static, $again"
fi
echo "wine32-setup: Wine's 32-bit loader runs under qemu (registered until the next reboot)"
