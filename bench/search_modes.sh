#!/usr/bin/env bash
# The search's match modes against their peers, each pair in one run, warm cache:
#   - all words with two words against the phrase search of the longer word;
#   - accents ignored against the same search with accents;
#   - regular expressions with and without a literal against ripgrep over the same files
#     (one thread against rg -j1, every core against rg's default threads);
#   - a runaway expression over the whole catalog with one very long name added: it must end,
#     well within 10 s, with the records it gave up on named as a warning.
#
#   bench/search_modes.sh AMBRYLOG-CLI CATALOG [RUNS=10]
#
# CATALOG is bench_gencatalog's output (10 million records for the figures that count). Build
# ambrylog-cli in a Release tree first; needs hyperfine and ripgrep. The counts of each pair are
# printed first, to be compared by eye (rg counts lines of every file, the search counts
# records whose folder or name match).
set -euo pipefail
cli=$(realpath "$1")
catalog=$(realpath "$2")
runs=${3:-10}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_DATA_HOME="$work/home/data"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"

find "$catalog" -type f -exec cat {} + > /dev/null
echo "catalog: $catalog ($(find "$catalog" -name '*.dat' | wc -l) archives, $(du -sh "$catalog" | cut -f1)), $(nproc) cores"

search() { "$cli" --catalog "$catalog" search "$@"; }
rgcount() { rg --hidden -i -c "$@" "$catalog" | awk -F: '{ n += $NF } END { print n + 0 }'; }

echo "rows: beatles $(search beatles --count), 'beatles holiday' (all words) $(search 'beatles holiday' --match all --count)"
echo "rows: zurich $(search zurich --count), ignoring accents $(search zurich --ignore-accents --count)"
for re in 'song.*\.mp3' '^[0-9]{4}-'; do
  echo "rows: /$re/ $(search "$re" --match regex --count || true), lines rg finds $(rgcount "$re")"
done

table() { # title, then hyperfine's commands
  local title=$1
  shift
  echo
  echo "## $title"
  hyperfine -N -i -w 2 -r "$runs" --export-markdown "$work/table.md" "$@" > /dev/null
  cat "$work/table.md"
}
c="$cli --catalog $catalog search"
table "All words against the phrase of the longer word (1 thread)" \
  "$c beatles --count --threads 1" \
  "$c 'beatles holiday' --match all --count --threads 1"
table "Accents ignored against the same search (1 thread)" \
  "$c zurich --count --threads 1" \
  "$c zurich --ignore-accents --count --threads 1" \
  "$c creme --count --threads 1" \
  "$c creme --ignore-accents --count --threads 1"
for re in 'song.*\.mp3' '^[0-9]{4}-'; do
  table "Regular expression /$re/ against ripgrep" \
    "$c '$re' --match regex --count --threads 1" \
    "rg --hidden -i -c -j1 '$re' $catalog" \
    "$c '$re' --match regex --count" \
    "rg --hidden -i -c '$re' $catalog"
done

# The whole catalog again (hard links, no copy) with one more disc whose only file has a name
# of 250 "a" and a "!": the expression backtracks without end on it.
long="$work/long"
mkdir -p "$long/disc"
: > "$long/disc/$(printf 'a%.0s' $(seq 250))!"
withLong="$work/catalog"
if ! cp -al "$catalog" "$withLong" 2> /dev/null; then
  withLong="$(dirname "$catalog")/.search-modes-$$"
  cp -al "$catalog" "$withLong"
  trap 'rm -rf "$work" "$withLong"' EXIT
fi
"$cli" --catalog "$withLong" add --folder "$long/disc" --mark "Long name" > /dev/null
echo
echo "## A runaway expression over the whole catalog and one long name"
start=$(date +%s.%N)
set +e
"$cli" --catalog "$withLong" search '(a+)+$' --match regex --count 2> "$work/err"
status=$?
set -e
end=$(date +%s.%N)
echo "exit $status in $(echo "$end - $start" | bc -l | xargs printf '%.2f') s; standard error:"
cat "$work/err"
