#!/bin/sh
# Converts every file of the shared corpus to glTF and runs the Khronos
# validator over each one that loaded: no file may have a validation error.
#   scripts/check_corpus_gltf.sh [VRML_TOOL [CORPUS_DIR [OUT_DIR]]]
# Defaults: build/cli/vrml, ../shared/corpus, a temporary folder.
# Exit status: 0 all valid, 1 a conversion crashed or a file is invalid,
# 77 Node.js or the validator package is missing.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
tool=${1:-$root/build/cli/vrml}
corpus=${2:-$root/../shared/corpus}
out=${3:-$(mktemp -d)}
mkdir -p "$out" || exit 1
command -v node >/dev/null 2>&1 || { echo "node not found: skipped"; exit 77; }
[ -x "$tool" ] || { echo "no vrml tool at $tool"; exit 1; }
[ -d "$corpus" ] || { echo "no corpus at $corpus"; exit 1; }

converted=0 refused=0 crashed=0
list=$(mktemp)
find "$corpus" -type f \( -iname '*.wrl' -o -iname '*.wrz' -o -iname '*.gz' -o -iname '*.vrml' \) | sort >"$list"
while IFS= read -r file; do
    relative=${file#"$corpus"/}
    target="$out/$(printf '%s' "$relative" | tr '/ ' '__').glb"
    timeout 60 "$tool" convert --quiet "$file" "$target" 2>>"$out/refused.txt"
    status=$?
    case $status in
    0) converted=$((converted + 1)) ;;
    1 | 2) refused=$((refused + 1)) ;;
    *) crashed=$((crashed + 1)); echo "CRASH or timeout ($status): $file" ;;
    esac
done <"$list"
rm -f "$list"
echo "corpus: $converted converted, $refused refused (reasons in $out/refused.txt), $crashed crashed"
node "$root/scripts/validate_gltf.js" "$out" >"$out/validation.txt"
status=$?
grep -v ': 0 errors' "$out/validation.txt"
[ $status -eq 0 ] && [ $crashed -eq 0 ] && exit 0
[ $status -eq 77 ] && exit 77
exit 1
