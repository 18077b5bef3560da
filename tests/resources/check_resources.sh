#!/usr/bin/env bash
# Reads the headers and resources back out of a built Quillane.exe and the
# command-line tools and checks what the Explorer, the loader and the version
# tab will see, without running them.
# Usage: check_resources.sh QUILLANE_EXE TOOL_EXE...
#   WINDRES and OBJDUMP name the build's binutils; PE_FORMAT is what objdump
#   must report for it: "pei-i386 PE32" (the default) or "pei-x86-64 PE32+".
#   QUILLANE_VERSION and QUILLANE_FILE_VERSION are the versions it must carry.
set -u

exe=${1:?usage: check_resources.sh QUILLANE_EXE TOOL_EXE...}
tools=("${@:2}")
windres=${WINDRES:-i686-w64-mingw32-windres}
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
pe_format=${PE_FORMAT:-pei-i386 PE32}
: "${QUILLANE_VERSION:?} ${QUILLANE_FILE_VERSION:?}"
# All the programs may import: Windows' own DLLs. Anything else (the C++ or
# threads runtime) would have to travel with them.
windows_dlls='^(kernel32|user32|gdi32|shell32|msvcrt)\.dll$'

passed=0
failed=0
# Decimal value of a decompiled number; -1 for anything garbled, so that its
# check fails instead of the shell aborting on bad arithmetic.
num() { [[ $1 =~ ^(0x[0-9a-fA-F]+|[0-9]+)L?$ ]] && echo $((${1%L})) || echo -1; }
check() {
    local what=$1 got=$2 want=$3
    if [[ $got == "$want" ]]; then
        echo "PASS $what"
        passed=$((passed + 1))
    else
        echo "FAIL $what: got '$got', want '$want'"
        failed=$((failed + 1))
    fi
}

# check_header EXE SUBSYSTEM — 2 for a window program, 3 for a console one.
check_header() {
    local name=${1##*/} header imports
    header=$("$objdump" -p "$1" 2>&1) || { check "$name: header readable" no yes; return; }
    check "$name: machine and image kind" \
        "$(sed -n 's/.*file format //p' <<<"$header") $(awk '$1 == "Magic" {print $3}' <<<"$header" | tr -d '()')" \
        "$pe_format"
    check "$name: subsystem" "$(num "0x$(awk '$1 == "Subsystem" {print $2}' <<<"$header")")" "$2"
    imports=$(sed -n 's/^\tDLL Name: //p' <<<"$header")
    check "$name: imports read" "$([[ -n $imports ]] && echo yes)" yes
    check "$name: DLLs beyond Windows' own" "$(grep -Eiv "$windows_dlls" <<<"$imports" | paste -sd' ')" ""
}
check_header "$exe" 2
for tool in "${tools[@]}"; do check_header "$tool" 3; done

# windres' decompiled script is parsed instead of the raw .rsrc section so that
# CI needs nothing beyond the mingw binutils.
rc=$("$windres" -i "$exe" -O rc 2>&1) ||
    { echo "FAIL reading resources: $rc"; echo "$passed passed, $((failed + 1)) failed"; exit 1; }

group=$(awk '/^101 14 \/\* RT_GROUP_ICON \*\//{f=1} f&&/^END/{exit} f' <<<"$rc")
check "icon group IDI_ICON1 (101) exists" "$([[ -n $group ]] && echo yes)" yes
mapfile -t entries < <(grep 'Element no' <<<"$group")
check "icon group has two images" "${#entries[@]}" 2

sizes=()
for entry in "${entries[@]}"; do
    # "width height colors pad", planes, bits, bytes, index
    IFS=, read -r dims planes bits bytes index _ <<<"${entry%%/\**}"
    read -r w h _ < <(printf "${dims//[\" ]/}" | od -An -tu1)
    index=$(num "${index//[[:space:]]/}")
    sizes+=("${w}x${h}")
    check "group entry ${w}x${h}: planes and bits" "$(num "${planes// /}") $(num "${bits// /}")" "1 32"
    mask_row=$(( (w + 31) / 32 * 4 ))
    check "group entry ${w}x${h}: size is a 32-bit image with mask" \
        "$(num "${bytes// /}")" "$((40 + w * h * 4 + h * mask_row))"

    header=$(awk -v id="$index" '$0 ~ "^" id " 3 /\\* RT_ICON" {f=1; next} f && /^BEGIN/ {getline; print; exit}' <<<"$rc")
    IFS=', ' read -r hsize hw hh planes_bits _ <<<"$header"
    planes_bits=$(num "$planes_bits")
    check "RT_ICON $index header: size width 2*height planes bpp" \
        "$(num "$hsize") $(num "$hw") $(num "$hh") $((planes_bits & 0xffff)) $((planes_bits >> 16))" \
        "40 $w $((2 * h)) 1 32"
done
check "icon sizes" "$(printf "%s\n" "${sizes[@]}" | sort -r | paste -sd" ")" "48x48 32x32"

version=$(awk '/^LANGUAGE /{lang=$0} / VERSIONINFO$/{f=1; print lang} f; f&&/^END/{exit}' <<<"$rc")
value() { sed -n "s/^ *VALUE \"$1\", \"\(.*\)\"$/\1/p" <<<"$version"; }
check "version resource language" "$(head -n1 <<<"$version")" "LANGUAGE 17, 1"
numbers=${QUILLANE_VERSION//./, }
check "FILEVERSION" "$(grep -m1 '^ FILEVERSION' <<<"$version")" " FILEVERSION $numbers"
check "PRODUCTVERSION" "$(grep -m1 '^ PRODUCTVERSION' <<<"$version")" " PRODUCTVERSION $numbers"
check "string block 041104B0" "$(grep -c 'BLOCK "041104B0"' <<<"$version")" 1
check "FileVersion string" "$(value FileVersion)" "$QUILLANE_FILE_VERSION"
check "ProductVersion string" "$(value ProductVersion)" "$QUILLANE_VERSION"
check "ProductName string" "$(value ProductName)" "Quillane"
check "FileDescription string present" "$(value FileDescription | grep -c .)" 1
check "LegalCopyright string present" "$(value LegalCopyright | grep -c .)" 1
check "Translation" "$(grep -o 'VALUE "Translation".*' <<<"$version")" 'VALUE "Translation", 0x411, 1200'

manifest=$(awk '/^1 24 \/\* RT_MANIFEST \*\//{f=1; next} f&&/^END/{exit} f&&/^ +"/' <<<"$rc" |
    sed -e 's/^ *"//' -e 's/"$//' -e 's/""/"/g' -e 's/\\n//g; s/\\r//g' | tr -d '\n' |
    sed -e 's/^<?xml[^>]*?>//' -e 's/^[[:space:]]*//; s/[[:space:]]*$//')
check "manifest (RT_MANIFEST 1)" "$manifest" \
    '<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0"/>'

# The tools' test seam stays out of the window: no step of it can pause a release window.
check "Quillane.exe carries no test seam" "$(grep -c QUILLANE_STOP_AT "$exe")" 0

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
