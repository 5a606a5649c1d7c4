#!/usr/bin/env bash
# Regenerates the fuzzers' seed inputs in fuzz/corpus/<target>/: the INI texts of tests/unit/ini_cases.h,
# SUID.ini files that suidtool writes in both forms, and patient IDs. Run it after changing those cases, and commit
# the result; scripts/fuzz never writes here (it fuzzes on a copy).
# Needs build/native/suidtool (scripts/build makes it) and clang++.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
suidtool="$root/build/native/suidtool"
corpus="$root/fuzz/corpus"
cxx="${CXX:-clang++}"

if [ ! -x "$suidtool" ]; then
    echo "make_corpus.sh: $suidtool is missing; run scripts/build first" >&2
    exit 1
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

descramble="$work/descramble_fuzz"
ini="$work/ini_fuzz"
patient="$work/patient_id_fuzz"
mkdir -p "$descramble" "$ini" "$patient"

# The reader's cases: the INI fuzzer's seeds, and plain files for the SUID.ini reader to take for scrambled ones.
"$cxx" -std=c++17 -Wall -Wextra -I"$root/tests/unit" "$root/fuzz/ini_case_files.cpp" -o "$work/ini_case_files"
"$work/ini_case_files" "$ini"
# An encoded surrogate (ED A0 80) in a UTF-8 file: no case above has one, and the fuzzer does not find the
# decoder's surrogate check by itself within minutes.
printf '\xEF\xBB\xBF[S]\nK=a\xED\xA0\x80b\xED\x9F\xBFc\n' >"$ini/utf-8-surrogate"
cp "$ini"/* "$descramble/"

# name, then suidtool's write options: values the launcher meets on real discs and the writer's edge cases
# (blanks kept by quoting, the extremes of the version numbers, a long ID).
long_id="$(printf 'x%.0s' $(seq 258))"
suid_files=(
    "discstudio|--mode|DiscStudio|--id|20091118_KIM|--version|1.0.0.0"
    "clarivue|--mode|Clarivue|--id|P0001|--version|2.3.1.12"
    "lite|--mode|DiscStudio_Lite|--id|Kim Min-su|--version|-1.0.2147483647.-2147483648"
    "quoted|--mode|BasicStudio|--id| padded |--version|0.0.0.0"
    "quotes|--mode|'single'|--id|\"double\"|--version|0.0.0.1"
    "long-id|--mode|DiscStudioBasic|--id|$long_id|--version|1.2.3.4"
)
for entry in "${suid_files[@]}"; do
    IFS='|' read -r -a fields <<<"$entry"
    name="${fields[0]}"
    options=("${fields[@]:1}")
    "$suidtool" write --force "${options[@]}" --scrambled "$descramble/suid-$name-scrambled.ini"
    "$suidtool" write --force "${options[@]}" "$descramble/suid-$name-plain.ini"
    cp "$descramble/suid-$name-plain.ini" "$ini/"
done

# Version numbers the writer refuses but a disc may hold, from the atoi cases of tests/unit/suid_file_test.cpp:
# the reader must clamp them, and the fuzzer rarely grows eleven digits by itself.
version_values=("99999999999" "-99999999999" "2147483647" "\"  +5\"" "12abc" "+-5")
n=0
for value in "${version_values[@]}"; do
    n=$((n + 1))
    printf '[Program Up]\r\nUP_A=091118\r\n[Program Version]\r\nHIMS=%s\r\n' "$value" \
        >"$descramble/suid-version-$(printf '%02d' "$n")-plain.ini"
done

# IDs: valid ones, and ones that are refused for each reason the check has.
patient_ids=(
    "20091118_KIM" "Kim Min-su" "a.b" "COM10" "LPT0" "COMx" $'\xB1\xE8\xB9\xCE\xBC\xF6'
    ".." "..\\..\\Windows" "C:x" "a|b" $'a\tb' "trailing " "trailing." "con.txt" "CON .txt" "lpt9"
)
n=0
for id in "${patient_ids[@]}"; do
    n=$((n + 1))
    printf '%s' "$id" >"$patient/id-$(printf '%02d' "$n")"
done

rm -rf "$corpus"
mkdir -p "$corpus"
mv "$descramble" "$ini" "$patient" "$corpus/"
for target in "$corpus"/*; do
    echo "$(basename "$target"): $(find "$target" -type f | wc -l) files, $(cat "$target"/* | wc -c) bytes"
done
