#!/usr/bin/env bash
# Checks a driver DLL as a host's loader sees it: it exports only Query, it
# imports only Windows system DLLs (the runtime is linked in), and it carries a
# version resource with a four-number file version. With --stripped (a DLL that
# ships) it also carries no symbol table and no debug sections.
set -euo pipefail
stripped=0
if [ "${1:-}" = "--stripped" ]; then stripped=1; shift; fi
objdump=$1
dll=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

dump=$(mktemp)
trap 'rm -f "$dump"' EXIT
"$objdump" -p "$dll" > "$dump"

exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{on=1;next} on&&/^[ \t]*\[/{print $NF} on&&/^$/{exit}' "$dump")
[ "$exports" = "Query" ] || fail "exports are '$(echo $exports | cut -c1-200)', expected only Query"

allowed='^(kernel32|user32|gdi32|advapi32|ole32|oleaut32|comctl32|comdlg32|shell32|msvcrt|ws2_32|version|shlwapi|uxtheme)\.dll$'
imports=$(awk '/DLL Name:/{print tolower($3)}' "$dump" | sort -u)
[ -n "$imports" ] || fail "no imports found"
for dllname in $imports; do
  [[ $dllname =~ $allowed ]] || fail "imports non-system DLL $dllname"
done
for runtime in libstdc++-6.dll libgcc_s_dw2-1.dll libgcc_s_seh-1.dll libwinpthread-1.dll zlib1.dll; do
  [[ $'\n'$imports$'\n' == *$'\n'$runtime$'\n'* ]] && fail "imports runtime DLL $runtime"
done

# The version resource: VS_FIXEDFILEINFO starts with the signature 0xFEEF04BD.
rsrc=$("$objdump" -s -j .rsrc "$dll" | tr -d '\n')
[[ $rsrc == *bd04effe* ]] || fail "no version resource"

if [ $stripped -eq 1 ]; then
  debug=$("$objdump" -h "$dll" | awk '$2 ~ /^\.(debug|zdebug)/ {print $2}' | tr '\n' ' ')
  [ -z "$debug" ] || fail "debug sections left in a shipping DLL: $debug"
  # A PE file's COFF symbol table: its count is in the file header.
  symbols=$("$objdump" -t "$dll" | grep -c '^\[' || true)
  [ "$symbols" -eq 0 ] || fail "$symbols symbols left in a shipping DLL"
  echo "ok: $dll carries no symbols and no debug sections"
fi
echo "ok: $dll exports only Query, imports only: $(echo $imports)"
