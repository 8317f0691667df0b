#!/usr/bin/env bash
# Backup and restore of a catalog against Debian's zip and unzip at the same compression level,
# in one run, warm cache: wall time and peak memory (/usr/bin/time -v) of each, and a check
# that the restored catalog is byte for byte the original (diff -r).
#
#   bench/backup_vs_zip.sh AMBRYLOG-CLI CATALOG [ROUNDS]
#
# Build ambrylog-cli in a Release tree first. The work folder is a temporary folder on the
# same file system as /tmp; nothing outside it is written (HOME and XDG folders point there).
set -euo pipefail
cli=$(realpath "$1")
catalog=$(realpath "$2")
rounds=${3:-3}
level=6 # the level backups are written with (kBackupCompressionLevel); zip's default too

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_DATA_HOME="$work/home/data"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"

# One measured command: "wall-seconds peak-KiB cpu-seconds" on standard output. On a loaded
# machine the processor time (user + system) says more than the wall time.
measure() {
  /usr/bin/time -f '%e %M %U %S' -o "$work/time" "$@" > /dev/null
  awk '{ printf "%s %s %.2f\n", $1, $2, $3 + $4 }' "$work/time"
}
row() { printf '%-6s %-26s %9s %9s %10.1f\n' "$1" "$2" "$3" "$5" "$(echo "$4 / 1024" | bc -l)"; }

# Warm the page cache with the catalog.
find "$catalog" -type f -exec cat {} + > /dev/null

echo "catalog: $catalog ($(find "$catalog" -name '*.dat' | wc -l) archives, $(du -sh "$catalog" | cut -f1))"
printf '%-6s %-26s %9s %9s %10s\n' round tool seconds cpu-s peak-MiB
for round in $(seq 1 "$rounds"); do
  rm -f "$work/zip.zip" "$work/ours.zip"
  read -r s m c < <(cd "$catalog" && measure zip -q -r -"$level" "$work/zip.zip" .)
  row "$round" "zip -q -r -$level" "$s" "$m" "$c"
  read -r s m c < <(measure "$cli" --catalog "$catalog" backup "$work/ours.zip")
  row "$round" "ambrylog-cli backup" "$s" "$m" "$c"

  rm -rf "$work/unzipped" "$work/restore"
  mkdir -p "$work/unzipped" "$work/restore/Archive"
  read -r s m c < <(measure unzip -q "$work/ours.zip" -d "$work/unzipped")
  row "$round" "unzip -q" "$s" "$m" "$c"
  read -r s m c < <(measure "$cli" --catalog "$work/restore/Archive" restore "$work/ours.zip" --yes)
  row "$round" "ambrylog-cli restore --yes" "$s" "$m" "$c"
done
echo "zip sizes: zip $(stat -c %s "$work/zip.zip") bytes, ambrylog $(stat -c %s "$work/ours.zip") bytes"
# The writers' lock file is no archive and is not backed up.
if diff -r -x .ambrylog.lock "$catalog" "$work/restore/Archive" > "$work/diff"; then
  echo "diff -r: the restored catalog is identical to the original"
else
  echo "diff -r: DIFFERENT"
  head -20 "$work/diff"
  exit 1
fi
