#!/usr/bin/env bash
# The export of search rows to CSV and HTML against the tab-separated rows of the same search,
# each written to a file, warm cache, one run after another (hyperfine means):
#
#   bench/export_vs_tsv.sh AMBRYLOG-CLI CATALOG [TEXT=] [RUNS=10]
#
# TEXT empty finds every record: with bench_gencatalog OUT 200 1000000 that is a million rows.
# Build ambrylog-cli in a Release tree first; needs hyperfine (a Debian package). The row
# counts are printed first.
set -euo pipefail
cli=$(realpath "$1")
catalog=$(realpath "$2")
text=${3:-}
runs=${4:-10}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_DATA_HOME="$work/home/data"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"

find "$catalog" -type f -exec cat {} + > /dev/null
echo "catalog: $catalog ($(find "$catalog" -name '*.dat' | wc -l) archives, $(du -sh "$catalog" | cut -f1)), text '$text', $(nproc) cores"
echo "rows: $("$cli" --catalog "$catalog" search "$text" --count)"

for format in tsv csv html; do
  "$cli" --catalog "$catalog" search "$text" --format "$format" > "$work/out.$format"
  echo "$format: $(du -h "$work/out.$format" | cut -f1), $(wc -l < "$work/out.$format") lines"
done

hyperfine -N -w 2 -r "$runs" --export-markdown "$work/table.md" \
  --command-name tsv "sh -c '$cli --catalog $catalog search \"$text\" --format tsv > $work/t'" \
  --command-name csv "sh -c '$cli --catalog $catalog search \"$text\" --format csv > $work/t'" \
  --command-name html "sh -c '$cli --catalog $catalog search \"$text\" --format html > $work/t'" > /dev/null
cat "$work/table.md"
