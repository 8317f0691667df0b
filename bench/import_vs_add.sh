#!/usr/bin/env bash
# Times importing a listing of a tree against adding the same tree as a folder (both warm),
# each into a fresh catalog, and checks that the imported disc is the added one (the add's
# catalog then takes the import as already archived).
#   bench/import_vs_add.sh CLI GENTREE [files=1000000] [folders=15000]
set -euo pipefail
cli=$1 gentree=$2 files=${3:-1000000} folders=${4:-15000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_DATA_HOME="$work/home/data" XDG_CONFIG_HOME="$work/home/config"
"$gentree" "$work/tree" "$files" "$folders" >/dev/null
find "$work/tree" -mindepth 1 -printf '%y\t%P\t%s\t%T@\n' >"$work/tree.tsv"
ls -R "$work/tree" >/dev/null
for run in 1 2; do
  mkdir "$work/add$run" "$work/import$run"
  /usr/bin/time -f "add    run $run: %e s, %M KiB peak" "$cli" --catalog "$work/add$run" add --folder "$work/tree" >/dev/null
  /usr/bin/time -f "import run $run: %e s, %M KiB peak" "$cli" --catalog "$work/import$run" import "$work/tree.tsv" >/dev/null
done
"$cli" --catalog "$work/add1" import "$work/tree.tsv" --dry-run | head -1
