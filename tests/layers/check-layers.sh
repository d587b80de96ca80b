#!/usr/bin/env bash
# Checks that the source folders are layers: a file includes headers of its own folder and of
# folders below it, never above, so the include graph between folders has no cycle; and that
# at most one file under render includes an SDL header. Prints every offence, fails on any.
#   check-layers.sh [SRC_DIR]
set -euo pipefail
src=${1:-$(dirname "$0")/../../src}

# Bottom first. A folder may use any folder listed before it.
layers=(core fs config geometry prt platform render render/gl scene lighting app demo)
declare -A rank
for i in "${!layers[@]}"; do rank[${layers[$i]}]=$i; done

bad=0
checked=0
while IFS= read -r file; do
    folder=$(dirname "${file#"$src"/}")
    own=${rank[$folder]:--1}
    if [ "$own" -lt 0 ]; then
        echo "unlisted folder: src/$folder ($file)"
        bad=1
        continue
    fi
    while IFS= read -r included; do
        target=$(dirname "$included")
        [ "$target" = "." ] && continue
        used=${rank[$target]:--1}
        checked=$((checked + 1))
        if [ "$used" -lt 0 ] || [ "$used" -gt "$own" ]; then
            echo "src/$folder includes $included: $target is not below $folder"
            bad=1
        fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find "$src" -name '*.h' -o -name '*.cpp' | sort)

sdl=$(grep -rlE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](SDL2/)?SDL' "$src/render" \
    --include='*.h' --include='*.cpp' | sort || true)
if [ "$(printf '%s' "$sdl" | grep -c .)" -gt 1 ]; then
    echo "more than one file under src/render includes SDL:"
    echo "$sdl"
    bad=1
fi
[ "$checked" -eq 0 ] && { echo "no includes found under $src"; exit 1; }
[ "$bad" -eq 0 ] && echo "layers: $checked includes checked, none points up"
exit "$bad"
