#!/usr/bin/env bash
# Checks the shipped udev rule: its name sorts before 73-seat-late.rules, every line parses as
# udev rule syntax (udevadm verify where this udev has it), the commented headless alternative
# parses too, and its ids are the ones the utility opens.
#   check-udev-rule.sh RULE_FILE UTILITY_RUN_HEADER
set -euo pipefail
rule="$1"
header="$2"
fail() { echo "FAIL: $*"; exit 1; }

name=$(basename "$rule")
number=${name%%-*}
[[ "$number" =~ ^[0-9]+$ ]] && [ "$number" -lt 73 ] || fail "$name must sort before 73-seat-late.rules"

# One rule line: comma-separated KEY[{attribute}]OPERATOR"value" items.
check_line() {
  local line="$1" item key operator
  IFS=$'\n' read -r -d '' -a items < <(printf '%s' "$line" | sed 's/", */"\n/g'; printf '\0') || true
  for item in "${items[@]}"; do
    [[ "$item" =~ ^([A-Z_]+)(\{[A-Za-z0-9_]+\})?(==|!=|\+=|-=|:=|=)\"[^\"]*\"$ ]] || fail "cannot parse '$item'"
    key="${BASH_REMATCH[1]}"
    operator="${BASH_REMATCH[3]}"
    case "$key" in
      SUBSYSTEM|SUBSYSTEMS|ATTRS|ATTR|KERNEL|ACTION|DRIVERS)
        [[ "$operator" == "==" || "$operator" == "!=" ]] || fail "$key needs a match operator" ;;
      TAG|GROUP|MODE|OWNER)
        [[ "$operator" != "==" && "$operator" != "!=" ]] || fail "$key needs an assignment" ;;
      *) fail "unknown key $key" ;;
    esac
  done
}

rules=0
while IFS= read -r line; do
  [[ -z "$line" ]] && continue
  if [[ "$line" =~ ^#\ (SUBSYSTEM.*)$ ]]; then
    alternative="${BASH_REMATCH[1]}"
    check_line "$alternative"
    continue
  fi
  [[ "$line" =~ ^# ]] && continue
  check_line "$line"
  active="$line"
  rules=$((rules + 1))
done < "$rule"
[ "$rules" -eq 1 ] || fail "expected one active rule, found $rules"
[[ "$active" == *'TAG+="uaccess"'* ]] || fail "the active rule does not tag uaccess"
[[ "${alternative:-}" == *'GROUP="plugdev", MODE="0660"'* ]] || fail "no commented plugdev alternative"

if command -v udevadm > /dev/null && udevadm verify --help > /dev/null 2>&1; then
  udevadm verify "$rule" || fail "udevadm verify"
fi

vendor=$(sed -n 's/.*kVendorId = \([0-9]*\);.*/\1/p' "$header")
product=$(sed -n 's/.*kProductId = \([0-9]*\);.*/\1/p' "$header")
for rule_line in "$active" "$alternative"; do
  [[ "$rule_line" == *"ATTRS{idVendor}==\"$(printf '%04x' "$vendor")\""* ]] || fail "vendor is not $vendor"
  [[ "$rule_line" == *"ATTRS{idProduct}==\"$(printf '%04x' "$product")\""* ]] || fail "product is not $product"
done
echo "ok: $name matches $(printf '%04x:%04x' "$vendor" "$product")"
