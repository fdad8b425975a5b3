#!/usr/bin/env bash
# velnor's bash completion offers the commands, and each command's own options.
#   check-completion.sh COMPLETION_FILE
set -euo pipefail
source /usr/share/bash-completion/bash_completion
source "$1"
offered() { COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}; COMPREPLY=(); _velnor; echo "${COMPREPLY[*]}"; }
expect() {
  local want=$1; shift
  local got; got=$(offered "$@")
  [ "$got" = "$want" ] || { echo "velnor completion of '$*': '$got', expected '$want'"; exit 1; }
}
expect "status" velnor st
expect "list status backup verify diff doctor restore set reset serials help --json --help --version" velnor ""
expect "restore reset" velnor help re
expect "--path --usb-serial --location --serial --all --json --log --help" velnor status --
expect "--force" velnor backup --f
expect "--json --help" velnor diff --
expect "--dry-run" velnor restore --d
expect "--no-flash" velnor set --n
expect "led_level=" velnor set led
expect "--resolve --return" velnor serials list.txt --re
