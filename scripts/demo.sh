#!/usr/bin/env bash
# The main job, start to end, in a fresh Wine prefix inside the build tree:
# install what is missing, build, install the publishing application as its installer would,
# register vtlMenu.dll with the platform's regsvr32, right-click sample files as Explorer does,
# pick "&Publish with Vantorel", show what the application received, take the same road through
# Windows 11's first-level entry (the package manifest's Explorer command), photograph the real menu,
# then unregister and show that nothing of the DLL is left in the registry.
# The road is the product's: the 32-bit DLL with the 32-bit regsvr32 and vtlshell in a 32-bit
# prefix. Where this machine cannot run 32-bit programs it is the 64-bit DLL's, and the demo
# says why in its first lines. "demo.sh arm64" takes the ARM64 DLL's road instead, in the ARM64
# Wine under qemu-user (scripts/arm64-root.sh), without the picture of the menu.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [[ ${1:-} == arm64 ]]; then
  arch=arm64
  echo "demo: the ARM64 DLL (build/arm64/bin/vtlMenu.dll), registered with the ARM64 regsvr32 and right-clicked by the ARM64 vtlshell in an ARM64 prefix, under qemu-user"
elif reason=$(scripts/x86-probe.sh --kernel); then
  arch=x86
  echo "demo: the 32-bit product DLL (build/x86/bin/vtlMenu.dll), registered with the 32-bit regsvr32 and right-clicked by the 32-bit vtlshell in a 32-bit prefix"
else
  arch=x64
  echo "demo: the 64-bit DLL (build/x64/bin/vtlMenu.dll), because $reason"
fi

step() { printf '\n== %s\n' "$*"; }
die() { printf '\ndemo: FAILED at "%s": %s\n' "$current" "$*" >&2; exit 1; }
begin() { current=$*; step "$*"; }
current=start
scripts/responsive-cpus.sh $$ >/dev/null 2>&1 &   # Wine's server calls wake idle processors

begin "dependencies"
scripts/install-deps.sh || die "installing the Debian packages failed"

presets=(x86 x64) manifest=$root/packaging/AppxManifest.xml
if [[ $arch == arm64 ]]; then
  begin "the ARM64 runtime and root"
  scripts/arm64-toolchain.sh || die "building the ARM64 runtime failed"
  scripts/arm64-root.sh make >/dev/null
  reason=$(scripts/arm64-root.sh check) || die "ARM64 programs cannot run here: $reason"
  presets+=(arm64) manifest=$root/build/arm64/package/AppxManifest.xml
fi
for preset in "${presets[@]}"; do
  begin "build ($preset)"
  cmake --preset "$preset" >/dev/null || die "configuring the $preset build failed (run: cmake --preset $preset)"
  cmake --build --preset "$preset" -- --quiet >/dev/null 2>&1 ||
    die "building failed (run: cmake --build --preset $preset)"
  echo "vtlMenu.dll ($preset): $(stat -c %s "build/$preset/bin/vtlMenu.dll") bytes"
done

loader=/usr/lib/wine/wine64 bits=64
[[ $arch == x86 ]] && loader=/usr/lib/wine/wine bits=32
[[ $arch == arm64 ]] && loader=$root/scripts/run-arm64.sh
[[ -x $loader ]] || die "the $bits-bit Wine loader $loader is missing"
demo=$root/build/$arch/demo
prefix=$demo/prefix
begin "fresh $arch Wine prefix"
mkdir -p "$demo"
scripts/wine-prefix.sh create "$prefix" "$arch" || die "creating the prefix at $prefix failed"
trap 'scripts/wine-prefix.sh stop "$prefix" "$arch"' EXIT
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
unset DISPLAY
wine() { "$loader" "$@"; }
drive_c=$prefix/drive_c
bin=$root/build/$arch/bin

app_dir='C:\Program Files\Vantorel Publisher'
app_exe="$app_dir\\vtlpublish.exe"
begin "install the publishing application"
mkdir -p "$drive_c/Program Files/Vantorel Publisher" "$drive_c/Program Files/vtlMenu"
cp "$bin/vtlpublish.exe" "$drive_c/Program Files/Vantorel Publisher/" || die "copying vtlpublish.exe failed"
wine reg add 'HKLM\Software\CorvalineVTL\VTL100' /v ExePath /t REG_SZ /d "$app_exe" /f >/dev/null ||
  die "writing ExePath failed"
echo "HKLM\\Software\\CorvalineVTL\\VTL100  ExePath = $app_exe"

dll='C:\Program Files\vtlMenu\vtlMenu.dll'
begin "register the $arch vtlMenu.dll with the $arch regsvr32"
cp "$bin/vtlMenu.dll" "$drive_c/Program Files/vtlMenu/" || die "copying vtlMenu.dll failed"
wine reg export HKCR "$demo/before.reg" /y >/dev/null 2>&1 || die "reading HKEY_CLASSES_ROOT failed"
wine regsvr32 /s "$dll" || die "regsvr32 /s refused the DLL (exit code $?)"
clsid='{4C2E8A15-93D7-4B61-A0F4-7E5B12C9D836}'
for key in "HKCR\\CLSID\\$clsid\\InprocServer32" "HKCR\\*\\ShellEx\\ContextMenuHandlers\\VtlMenu.VTLShlExt" \
           "HKCR\\VtlMenu.VTLShlExt\\CurVer" 'HKCR\TypeLib\{9E61B3D2-0A47-4C8F-B5E9-2D83F4A6C170}\1.0\0\win'"$bits"; do
  values=$(wine reg query "$key" | tr -d '\r' | sed -n 's/^    \(.*\)    REG_SZ    \(.*\)$/\1 = \2/p')
  [[ -n $values ]] || die "$key is missing after registration"
  while IFS= read -r line; do printf '%s  %s\n' "$key" "$line"; done <<<"$values"
done

pictures='C:\users\Public\Pictures\Holiday'
begin "sample files"
folder=$drive_c/users/Public/Pictures/Holiday
mkdir -p "$folder"
for name in Beach.JPG sunset.Png Notes.txt; do
  echo "sample for the demo" >"$folder/$name" || die "making $name failed"
  echo "$pictures\\$name"
done
files=("$pictures\\Beach.JPG" "$pictures\\sunset.Png" "$pictures\\Notes.txt")

begin "right-click them (the $arch vtlshell) and pick \"&Publish with Vantorel\""
record=$demo/publish-record.txt
rm -f "$record"
export VTL_PUBLISH_RECORD='Z:'${record//\//\\}
wine "$bin/vtlshell.exe" --invoke "&Publish with Vantorel" "${files[@]}" </dev/null >"$demo/vtlshell.log" 2>&1
status=$?
tr -d '\r' <"$demo/vtlshell.log" | sed 's/^/  /'
((status == 0)) || die "vtlshell failed (exit code $status)"

begin "what the publishing application received"
for _ in $(seq 100); do [[ -s $record ]] && break; sleep 0.1; done
[[ -s $record ]] || die "the publishing application did not start (no record in $record)"
iconv -f UTF-16LE -t UTF-8 "$record" | tr -d '\r' | sed -n 's/^command=/command line:      /p; s/^directory=/working directory: /p'
echo "decoded by the application (folder, then the names):"
wine "$bin/vtlpublish.exe" "$(iconv -f UTF-16LE -t UTF-8 "$record" | tr -d '\r' | sed -n 's/^command=.*"\(2008::.*\)"$/\1/p')" </dev/null |
  tr -d '\r' | sed 's/^/  /'

# Windows 11's first-level menu holds only packaged Explorer commands: the sparse package's
# manifest declares the DLL's second class, and vtlshell serves it from the installed DLL's
# folder (the package's external location) as Explorer would from the registered package.
begin "the first-level entry of Windows 11's menu, from ${manifest#$root/}"
mv "$record" "$demo/classic-record.txt"
wine "$bin/vtlshell.exe" --explorer-command "Z:${manifest//\//\\}" \
  --external-location 'C:\Program Files\vtlMenu' --invoke "Publish with Vantorel" "${files[@]}" \
  </dev/null >"$demo/explorer-command.log" 2>&1
status=$?
tr -d '\r' <"$demo/explorer-command.log" | sed 's/^/  /'
((status == 0)) || die "vtlshell --explorer-command failed (exit code $status)"
for _ in $(seq 100); do [[ -s $record ]] && break; sleep 0.1; done
[[ -s $record ]] || die "the publishing application did not start from the first-level entry"
# The first start in each record: how the entry started the application.
started() { iconv -f UTF-16LE -t UTF-8 "$1" | tr -d '\r' | grep -m2 -E '^(command|directory)='; }
[[ $(started "$record") == "$(started "$demo/classic-record.txt")" ]] ||
  die "the application was started otherwise than by the classic entry (see $record)"
started "$record" | sed 's/^command=/command line:      /; s/^directory=/working directory: /'
echo "the publishing application received the same command line and working directory as from the classic entry"

begin "picture of the real menu (virtual X display)"
if [[ $arch == arm64 ]]; then
  echo "skipped: the ARM64 Wine runs without a display driver here"
else
  picture=$demo/menu.png
  rm -f "$picture"
  # The prefix's desktop belongs to the display it was first opened on: start a fresh session
  # of the prefix for the virtual display, and another one after it.
  wineserver -k
  xvfb-run -a -s '-screen 0 800x600x24' "$loader" "$bin/vtlshell.exe" --picture "Z:${picture//\//\\}" \
    "${files[@]}" </dev/null >"$demo/picture.log" 2>&1
  wineserver -k
  wineserver -p >/dev/null 2>&1 </dev/null
  if [[ -s $picture ]]; then
    echo "saved $picture ($(stat -c %s "$picture") bytes)"
  else
    tr -d '\r' <"$demo/picture.log" | sed 's/^/  /'
    die "the menu could not be photographed"
  fi
fi

begin "unregister the $arch vtlMenu.dll with regsvr32 /u"
wine regsvr32 /u /s "$dll" || die "regsvr32 /u /s refused the DLL (exit code $?)"
wine reg export HKCR "$demo/after.reg" /y >/dev/null 2>&1 || die "reading HKEY_CLASSES_ROOT failed"
if cmp -s "$demo/before.reg" "$demo/after.reg"; then
  echo "HKEY_CLASSES_ROOT is exactly as it was before registration ($(grep -c '^\[' "$demo/after.reg") keys compared)"
else
  diff "$demo/before.reg" "$demo/after.reg" | head -20
  die "the registry still holds traces of the DLL"
fi

printf '\ndemo: every step passed\n'
