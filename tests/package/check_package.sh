#!/usr/bin/env bash
# Checks the zip a user downloads: exactly the expected files in one folder, the
# programs the build made, stripped, each importing only libraries that every
# Windows system has, and text files with Windows line ends.
#   check_package.sh ZIP OBJDUMP SOURCE_DIR BIN_DIR
set -uo pipefail
zip=$1 objdump=$2 source_dir=$3 bin_dir=$4
failures=0
fail() { printf 'FAILED: %s\n' "$*"; failures=$((failures + 1)); }

[ -f "$zip" ] || { fail "no package at $zip"; exit 1; }
name=$(basename "$zip" -win32.zip)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

expected=$(printf '%s\n' "$name/LICENSE.txt" "$name/THIRD-PARTY-NOTICES.txt" "$name/USER-GUIDE.txt" \
                         "$name/quillmar-cli.exe" "$name/quillmar.exe")
listed=$(cmake -E tar tf "$zip" | grep -v '/$' | LC_ALL=C sort)
[ "$listed" = "$expected" ] || fail "the zip holds:"$'\n'"$listed"$'\n'"instead of:"$'\n'"$expected"

(cd "$work" && cmake -E tar xf "$zip") || fail "the zip cannot be unpacked"
unpacked=$work/$name
for same in "quillmar.exe $bin_dir/quillmar.exe" "quillmar-cli.exe $bin_dir/quillmar-cli.exe"; do
  set -- $same
  cmp -s "$unpacked/$1" "$2" || fail "$1 in the zip is not $2"
done
# The text files: CR LF at every line end, the licence and the notices as they stand
# in the sources, the guide in plain text with no Markdown left in it.
for text in $(cd "$unpacked" && ls | grep -v '\.exe$'); do
  line_ends=$(tr -cd '\n' <"$unpacked/$text" | wc -c)
  [ "$line_ends" -gt 0 ] && [ "$(LC_ALL=C grep -c $'\r$' "$unpacked/$text")" -eq "$line_ends" ] ||
    fail "$text has line ends without CR"
done
for same in "LICENSE.txt $source_dir/LICENSE" "THIRD-PARTY-NOTICES.txt $source_dir/THIRD-PARTY-NOTICES.txt"; do
  set -- $same
  tr -d '\r' <"$unpacked/$1" | cmp -s - "$2" || fail "$1 in the zip is not $2"
done
grep -q 'Permission is hereby granted' "$unpacked/LICENSE.txt" || fail "LICENSE.txt is not the licence"
for part in MinGW-w64 winpthreads libstdc++ 'GCC RUNTIME LIBRARY EXCEPTION'; do
  grep -q "$part" "$unpacked/THIRD-PARTY-NOTICES.txt" || fail "THIRD-PARTY-NOTICES.txt does not name $part"
done
grep -q '^Quillmar user guide' "$unpacked/USER-GUIDE.txt" || fail "USER-GUIDE.txt is not the user guide"
# Bold left over is two stars before a word; `**` alone is a pattern the guide shows.
if grep -Eq '`|\*\*[[:alnum:]]|^#|<!--|^\|' "$unpacked/USER-GUIDE.txt"; then fail "USER-GUIDE.txt holds Markdown marks"; fi
# Help opens the guide by this name, beside the program.
tr -d '\0' <"$unpacked/quillmar.exe" | grep -ac 'USER-GUIDE\.txt' >/dev/null || fail "quillmar.exe does not open USER-GUIDE.txt"

# Libraries present on every Windows the program runs on (bcrypt, the system's
# cryptography, since Vista); nothing of the compiler.
system_library='^(ntdll|kernel32|user32|gdi32|shell32|comctl32|comdlg32|ole32|oleaut32|advapi32|shlwapi|version|uxtheme|bcrypt|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$'
check_program() {
  local program=$1 subsystem=$2 dump imports
  dump=$("$objdump" -p "$unpacked/$program") || { fail "$program cannot be read"; return; }
  grep -q 'file format pei-i386' <<<"$dump" || fail "$program is not a 32-bit x86 program"
  grep -Eq "^Subsystem[[:space:]].*\($subsystem\)" <<<"$dump" || fail "$program is not a $subsystem program"
  imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | tr 'A-Z' 'a-z')
  [ -n "$imports" ] || fail "$program lists no imported libraries"
  for library in $imports; do
    grep -Eq "$system_library" <<<"$library" || fail "$program imports $library, which Windows does not have"
  done
  if "$objdump" -h "$unpacked/$program" | grep -q '\.debug'; then fail "$program carries debug information"; fi
  "$objdump" -t "$unpacked/$program" 2>&1 | grep -q 'no symbols' || fail "$program carries a symbol table"
}
check_program quillmar.exe 'Windows GUI'
check_program quillmar-cli.exe 'Windows CUI'
# The companion loads every other library on first use: user32 alone, with the
# libraries it brings, takes longer to load than a small pair takes to analyse.
companion_imports=$("$objdump" -p "$unpacked/quillmar-cli.exe" | sed -n 's/^[[:space:]]*DLL Name: //p' |
  tr 'A-Z' 'a-z' | sort -u | paste -sd ' ')
[ "$companion_imports" = "kernel32.dll msvcrt.dll ntdll.dll" ] ||
  fail "quillmar-cli.exe loads $companion_imports at start, not kernel32.dll, msvcrt.dll and ntdll.dll alone"

[ "$failures" -eq 0 ] || exit 1
echo "package $zip: $(wc -l <<<"$listed") files, programs stripped, system imports only"
