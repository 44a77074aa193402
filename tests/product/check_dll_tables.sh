#!/usr/bin/env bash
# check_dll_tables.sh <objdump> <dll> <x86|x64|arm64>
# (GNU objdump for x86 and x64; llvm-objdump for ARM64, which GNU's MinGW binutils do not read)
# Reads the DLL's headers, export table and import table and fails on anything a shell
# extension of ours must not carry.
set -uo pipefail
objdump=$1 dll=$2 arch=$3

if [[ ! -f $dll ]]; then
  echo "SKIPPED: $dll is not built"
  exit 77
fi

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

headers=$("$objdump" -p "$dll") || { echo "FAIL: objdump cannot read $dll"; exit 1; }

format=$(sed -n 's/.*file format \(.*\)$/\1/p' <<<"$headers" | head -n 1)
case "$arch" in
  x86) [[ $format == pei-i386 ]] || fail "file format is '$format', expected pei-i386" ;;
  x64) [[ $format == pei-x86-64 ]] || fail "file format is '$format', expected pei-x86-64" ;;
  arm64) [[ $format == coff-arm64 ]] || fail "file format is '$format', expected coff-arm64" ;;
esac

# Exports: exactly the four, by name, ordinals 1 to 4 in this order. Both objdumps' tables
# are read into "ordinal - 1, name" rows.
if [[ $format == coff-* ]]; then
  name=$(sed -n 's/^ DLL name: \(.*\)$/\1/p' <<<"$headers" | head -n 1)
  base=$(sed -n 's/^ Ordinal base: \([0-9]*\)/\1/p' <<<"$headers")
  exports=$(awk '/^ Ordinal +RVA +Name/ {on=1; next}
                 on && !/^ +[0-9]+ +0x/ {on=0}
                 on {print $1 - 1, $3}' <<<"$headers")
  addresses=$(grep -c . <<<"$exports")
else
  name=$(sed -n 's/^Name[[:space:]]*[0-9a-f]* \(.*\)$/\1/p' <<<"$headers" | head -n 1)
  # [Ordinal/Name Pointer] rows are "[index] name", the ordinal being index + base.
  exports=$(awk '/^\[Ordinal\/Name Pointer\] Table/ {on=1; next}
                 on && /^[[:space:]]*$/ {on=0}
                 on {gsub(/[][]/, " "); print $1, $2}' <<<"$headers")
  base=$(sed -n 's/^Ordinal Base[[:space:]]*\([0-9]*\)/\1/p' <<<"$headers")
  addresses=$(awk '/^Export Address Table -- / {on=1; next}
                   on && /^[[:space:]]*$/ {on=0}
                   on {n++} END {print n+0}' <<<"$headers")
fi
# lld names the table after the output file whatever the .def file says; the loader compares
# module names without regard to case.
if [[ $format == coff-* ]]; then
  [[ ${name,,} == vtlmenu.dll ]] || fail "export table names the library '$name', expected vtlMenu.dll"
else
  [[ $name == vtlMenu.DLL ]] || fail "export table names the library '$name', expected vtlMenu.DLL"
fi
expected="0 DllCanUnloadNow
1 DllGetClassObject
2 DllRegisterServer
3 DllUnregisterServer"
[[ $exports == "$expected" ]] || fail "exports (ordinal - 1, name) are:
$exports"
[[ $base == 1 ]] || fail "ordinal base is '$base', expected 1"
[[ $addresses == 4 ]] || fail "export address table has $addresses entries, expected 4"

# Imports: system DLLs only.
allowed=" kernel32.dll advapi32.dll user32.dll gdi32.dll shell32.dll ole32.dll oleaut32.dll msvcrt.dll "
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z')
for import in $imports; do
  [[ $allowed == *" $import "* ]] || fail "imports $import, which is not a system DLL we allow"
done

# No start-up code of the C++ runtime: the entry point passes straight to DllMain, so a
# global constructor would never run.
sections=$("$objdump" -h "$dll")
grep -qE '\.(ctors|init_array|tls)\b' <<<"$sections" && fail "the DLL carries constructor or TLS sections"

# The product DLL, and the ARM64 one, stay small: at most 48 KiB.
size=$(stat -c %s "$dll")
if [[ $arch != x64 ]] && ((size > 49152)); then
  fail "the $arch DLL is $size bytes, more than 48 KiB"
fi
echo "$arch $dll: $size bytes; imports: $(tr '\n' ' ' <<<"$imports")"
((failures == 0)) || exit 1
echo "exports, ordinals and imports as expected"
