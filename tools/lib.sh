# shellcheck shell=bash
# Sourced first by every script in tools/ and tests/e2e/. A script stops at
# the first command that fails and says which one, where and with what status,
# for example
#   wine-env.sh:86: failed (status 1): wine reg add ... (in locstr_prepare_prefix, called from demo.sh:29)
# A failure inside a subshell or a called script is named first, then the
# line that ran it, like a traceback.
#   quiet CMD...        runs CMD with its output held back, and shows that
#                       output only when CMD fails (for set-up steps)
#   locstr_at_exit CMD  evaluates the string CMD when the script ends, on
#                       success or failure, the last registered first
#   locstr_die MESSAGE  prints MESSAGE and ends the script with status 1
[ -z "${_locstr_lib_loaded:-}" ] || return 0
_locstr_lib_loaded=1
set -Eeuo pipefail
shopt -s inherit_errexit

_locstr_on_err() {
  local rc=$1 line=$2 statuses=$3 cmd=$BASH_COMMAND where
  # The failing script; unset when bash runs a trap of its own (EXIT) at top level.
  local source=${BASH_SOURCE[1]:-${0}}
  # quiet's own return stands for the command quiet ran.
  # shellcheck disable=SC2016 # the text of that command, not an expansion
  [ "$cmd" != 'return "$_locstr_quiet_rc"' ] || cmd=$_locstr_quiet_cmd
  if [ "${statuses// /}" != "$statuses" ]; then
    # A pipeline: BASH_COMMAND holds only its last command; show the line.
    local text=""
    [ ! -r "$source" ] || text=$(sed -n "${line}p" "$source")
    text="${text#"${text%%[![:space:]]*}"}"
    cmd="${text:-... | $cmd} (statuses in the pipeline: $statuses)"
  fi
  where="${source##*/}:$line: failed (status $rc): $cmd"
  local i caller
  for ((i = 1; i < ${#FUNCNAME[@]} - 1; i++)); do
    case ${FUNCNAME[i]} in
      source) where+=" (in ${BASH_SOURCE[i]##*/}, sourced from" ;;
      *) where+=" (in ${FUNCNAME[i]}, called from" ;;
    esac
    caller=${BASH_SOURCE[i + 1]:-?}
    where+=" ${caller##*/}:${BASH_LINENO[i]})"
  done
  printf '%s\n' "$where" >&2
}
trap '_locstr_on_err $? $LINENO "${PIPESTATUS[*]}"' ERR

_locstr_exit_hooks=()
locstr_at_exit() { _locstr_exit_hooks+=("$1"); }
_locstr_on_exit() {
  local i
  for ((i = ${#_locstr_exit_hooks[@]} - 1; i >= 0; i--)); do
    eval "${_locstr_exit_hooks[i]}"
  done
}
trap _locstr_on_exit EXIT
# Interrupted, the script says so and still runs its exit hooks.
trap 'echo "${0##*/}: interrupted" >&2; exit 130' INT
trap 'echo "${0##*/}: terminated" >&2; exit 143' TERM

# Runs a command as root: directly, or through sudo.
locstr_as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  else
    sudo "$@"
  fi
}

# Installs those of the named Debian packages that are missing, as root or
# through sudo; "$1" names the caller in the message. APT_TARGET_RELEASE, when
# set, is the release to take them from (apt-get -t).
locstr_install_missing() {
  local who=$1 p
  shift
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "$who: installing ${missing[*]}"
  # Asks for the password here, where it can be seen.
  [ "$(id -u)" -eq 0 ] || sudo -v
  quiet locstr_as_root apt-get update -qq
  quiet locstr_as_root env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends ${APT_TARGET_RELEASE:+-t "$APT_TARGET_RELEASE"} \
    "${missing[@]}"
}

locstr_die() {
  printf '%s\n' "$*" >&2
  exit 1
}

quiet() {
  local out
  out=$(mktemp "${TMPDIR:-/tmp}/locstr-quiet.XXXXXX")
  _locstr_quiet_rc=0
  "$@" >"$out" 2>&1 </dev/null || _locstr_quiet_rc=$?
  if [ "$_locstr_quiet_rc" -ne 0 ]; then
    cat "$out" >&2
    # The command as it ran, for the failure message.
    local arg
    _locstr_quiet_cmd=""
    for arg in "$@"; do
      case $arg in
        '' | *[!A-Za-z0-9_./:=@%+,\\-]*) arg="'${arg//\'/\'\\\'\'}'" ;;
      esac
      _locstr_quiet_cmd+="${_locstr_quiet_cmd:+ }$arg"
    done
  fi
  rm -f "$out"
  return "$_locstr_quiet_rc"
}
