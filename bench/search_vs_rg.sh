#!/usr/bin/env bash
# The search of a whole catalog against ripgrep over the same files, in one run, warm cache:
# `search TEXT --count` with one thread against `rg -j1`, with every core against rg's default
# threads (hyperfine means), and the peak memory of the count at 1, 2 and 8 threads.
#
#   bench/search_vs_rg.sh AMBRYLOG-CLI CATALOG [TEXT=song] [RUNS=20]
#
# Build ambrylog-cli in a Release tree first; needs hyperfine and ripgrep (Debian packages).
# rg exits 1 when nothing matches, so failures are not held against either side (-i); the
# counts of both are printed first, to be compared by eye (rg counts lines of every file, the
# search counts records whose folder or name holds the text).
set -euo pipefail
cli=$(realpath "$1")
catalog=$(realpath "$2")
text=${3:-song}
runs=${4:-20}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_DATA_HOME="$work/home/data"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"

find "$catalog" -type f -exec cat {} + > /dev/null
echo "catalog: $catalog ($(find "$catalog" -name '*.dat' | wc -l) archives, $(du -sh "$catalog" | cut -f1)), text '$text', $(nproc) cores"
echo "records found: $("$cli" --catalog "$catalog" search "$text" --count || true)"
echo "lines rg finds: $(rg --hidden -F -i -c "$text" "$catalog" | awk -F: '{ n += $NF } END { print n + 0 }')"

hyperfine -N -i -w 3 -r "$runs" --export-markdown "$work/table.md" \
  "$cli --catalog $catalog search $text --count --threads 1" \
  "rg --hidden -F -i -c -j1 $text $catalog" \
  "$cli --catalog $catalog search $text --count" \
  "rg --hidden -F -i -c $text $catalog" > /dev/null
cat "$work/table.md"

for threads in 1 2 8; do
  /usr/bin/time -f '%M' -o "$work/time" "$cli" --catalog "$catalog" search "$text" --count --threads "$threads" > /dev/null || true
  echo "peak memory, --threads $threads: $(echo "$(cat "$work/time") / 1024" | bc -l | xargs printf '%.1f') MiB"
done
