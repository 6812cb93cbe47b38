# shellcheck shell=bash
# Sourced by the vnic-*.sh scripts: the Wine prefix of the virtual interface
# driver (never the prefix of the other Wine tests) and the names in it.
_vnic_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export LOCSTR_WINEPREFIX="${VNIC_WINEPREFIX:-$HOME/.cache/locstr/driver-prefix}"
. "$_vnic_here/wine-env.sh"
VNIC_SERVICE=vnic
VNIC_IMAGE='C:\windows\system32\drivers\vnic.sys'
VNIC_INTERFACES_KEY='HKLM\SOFTWARE\Quorvane\DeviceDrivers'
VNIC_INTERFACE_NAME='Virtual interface card'
VNIC_DEVICE_NAME=VNIC0
