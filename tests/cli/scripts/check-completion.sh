#!/usr/bin/env bash
# velnor's bash completion offers the commands, each command's own options, and key names after
# key.N= (a word "=" stands for readline's split of key.N=VALUE).
#   check-completion.sh COMPLETION_FILE
set -euo pipefail
source /usr/share/bash-completion/bash_completion
source "$1"
offered() { COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_LINE=${COMP_LINE// = /=}; COMP_POINT=${#COMP_LINE}; COMPREPLY=(); _velnor; echo "${COMPREPLY[*]}"; }
expect() {
  local want=$1; shift
  local got; got=$(offered "$@")
  [ "$got" = "$want" ] || { echo "velnor completion of '$*': '$got', expected '$want'"; exit 1; }
}
velnor() { printf '1e  1 and !\n1f  2 and @\n58  Keypad ENTER\n'; }  # as `velnor keys` lists them
expect "status station" velnor st
expect "list status backup verify diff doctor restore set reset serials keys station help --json --help --version" velnor ""
expect "restore reset" velnor help re
expect "--path --usb-serial --location --serial --all --json --log --station --help" velnor status --
expect "--force" velnor backup --f
expect "--json --help" velnor diff --
expect "--dry-run" velnor restore --d
expect "--no-flash" velnor set --n
expect "--no-feedback" velnor station --n
expect "led_level=" velnor set led
expect "--resolve --return" velnor serials list.txt --re
expect "keypad_table= keys= key." velnor set ke
expect '1\ and\ \! 2\ and\ @ Keypad\ ENTER' velnor set key.3 = ""
expect 'Keypad\ ENTER' velnor set --all key.3 = K
