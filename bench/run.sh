#!/usr/bin/env bash
# Throughput benchmark of indrift and exdrift against ogr2ogr and the floors.
#
#   bench/run.sh [BUILD]          (make bench runs it on build/)
#
# Environment:
#   ROWS   rows of the large data set (default 1000000)
#   SMALL  rows of the small data set (default ROWS/10; 0 runs the large one only)
#   RUNS   timed runs of every job and size (default 3; the median is shown)
#   SEED   generator seed (default 1)
#   WORK   where data, targets and logs go (default BUILD/bench-data)
#   MEMO   1 (default) also times the memo variant of both drivers; 0 skips it
#   SCRATCH 1 generates the data sets into a scratch folder under WORK and
#          removes it at the end, however the script ends; 0 keeps them in WORK
#          for the next run of the same size and seed.  Default: 1 from
#          10,000,000 rows on (tens of gigabytes), else 0.
#
# Every round runs every job once, in a fixed order, so the jobs alternate and
# share whatever else the machine is doing.  Targets (an empty table, an empty
# dbf file) are copied in, the job's inputs and program read once into the
# system's cache and dirty pages synced before each run, outside the timing, and
# removed after the job's check.  Each drift run is checked:
# the table must hold every row, the dbf file every record.  The report ends
# with the goals table: every ratio from the medians of this one run.
set -euo pipefail

BUILD=$(cd "${1:-build}" && pwd)
SRC=$(cd "$(dirname "$0")" && pwd)
ROWS=${ROWS:-1000000}
RUNS=${RUNS:-3}
SEED=${SEED:-1}
MEMO=${MEMO:-1}
SMALL=${SMALL:-$((ROWS / 10))}
if [ -z "${SCRATCH:-}" ]; then
  SCRATCH=0
  [ "$ROWS" -ge 10000000 ] && SCRATCH=1
fi
WORK=${WORK:-$BUILD/bench-data}
mkdir -p "$WORK/bin" "$WORK/log"
WORK=$(cd "$WORK" && pwd)
RESULTS=$WORK/results.txt
: >"$RESULTS"

[ -x /usr/bin/time ] || { echo "bench: /usr/bin/time is missing (apt-get install time)"; exit 1; }
for p in ogr2ogr sqlite3 cc; do
  command -v $p >/dev/null || { echo "bench: $p is missing"; exit 1; }
done
for p in indrift exdrift; do
  [ -x "$BUILD/$p" ] || { echo "bench: $BUILD/$p is not built"; exit 1; }
done

cc -O2 -Wall -Wextra -o "$WORK/bin/benchgen" "$SRC/gen.c" -lsqlite3
cc -O2 -Wall -Wextra -o "$WORK/bin/benchfloor" "$SRC/floor.c"

SIZES=$ROWS
[ "$SMALL" -gt 0 ] && SIZES="$ROWS $SMALL"

# ---- data sets: kept between runs of the script for the same size and seed,
# or, with SCRATCH=1, made for this run alone and removed on every way out
# (also an interrupt or a failed job).  Targets of the jobs live beside them.
DATA=$WORK
if [ "$SCRATCH" = 1 ]; then
  DATA=$(mktemp -d "$WORK/scratch.XXXXXX")
  trap 'rm -rf "$DATA"' EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  trap 'exit 129' HUP
fi
for n in $SIZES; do
  d=$DATA/n$n
  if [ "$(cat "$d/stamp" 2>/dev/null)" != "$n $SEED" ]; then
    echo "bench: generating $n rows into $d"
    rm -rf "$d" && mkdir -p "$d"
    "$WORK/bin/benchgen" -n "$n" -s "$SEED" "$d"
    echo "$n $SEED" >"$d/stamp"
  fi
done

# ---- configuration files of the two programs
fields="ID=ID
NAME=NAME
AMOUNT=AMOUNT
CREATED=CREATED
ACTIVE=ACTIVE
NOTE=NOTE"
printf '%%BEGIN_SECTION BENCH\n%%TABLE_NAME=BENCH\n%s\n%%END_SECTION\n' "$fields" >"$WORK/bench.cfg"
printf '%%BEGIN_SECTION BENCHM\n%%TABLE_NAME=BENCHM\n%s\nMEMO=MEMO\n%%END_SECTION\n' "$fields" >"$WORK/benchm.cfg"

# ---- jobs: prep_<job> (untimed), run_<job> (sets CMD, the timed command),
# check_<job> (the result is right); the data set is in $d
# The targets live in $T, one per size.

# Reads files through once, so that the job finds them in the system's cache
# whatever ran before it.  Virtual machines may page out memory left idle for a
# while (this one does after about a minute, at up to 128 MB a second): an input
# last read a round earlier, or generated minutes before, would otherwise be read
# from the disk by one job and from memory by the next.
warm() { cat "$@" >/dev/null; }
# The program of CMD and the shared libraries it loads.
warmProgram() {
  local program
  program=$(command -v "$1")
  warm "$program"
  ldd "$program" 2>/dev/null | awk '$2 == "=>" && $3 ~ /^\// { print $3 }' | while read -r lib; do
    warm "$lib"
  done
}
prep_indrift()  { cp "$d/empty.db" "$T/in.db"; warm "$d/bench.dbf"; }
run_indrift()   { CMD=("$BUILD/indrift" -S:"$T/in.db" -U:bench -P: -F:"$WORK/bench.cfg" -D:"$d/bench.dbf"); }
check_indrift() { checkTable "$T/in.db" BENCH; }

prep_exdrift()  { cp "$d/empty.dbf" "$T/ex.dbf"; warm "$d/bench.db"; }
run_exdrift()   { CMD=("$BUILD/exdrift" -S:"$d/bench.db" -U:bench -P: -F:"$WORK/bench.cfg" -D:"$T/ex.dbf"); }
check_exdrift() { checkDbf "$T/ex.dbf"; }

prep_indrift_memo()  { cp "$d/empty.db" "$T/inm.db"; warm "$d/benchm.dbf" "$d/benchm.dbt"; }
run_indrift_memo()   { CMD=("$BUILD/indrift" -S:"$T/inm.db" -U:bench -P: -F:"$WORK/benchm.cfg" -D:"$d/benchm.dbf"); }
check_indrift_memo() { checkTable "$T/inm.db" BENCHM; }

prep_exdrift_memo()  { cp "$d/emptym.dbf" "$T/exm.dbf"; cp "$d/emptym.dbt" "$T/exm.dbt"; warm "$d/bench.db"; }
run_exdrift_memo()   { CMD=("$BUILD/exdrift" -S:"$d/bench.db" -U:bench -P: -F:"$WORK/benchm.cfg" -D:"$T/exm.dbf"); }
check_exdrift_memo() { checkDbf "$T/exm.dbf"; }

prep_ogr_import()  { cp "$d/empty.db" "$T/ogr.db"; warm "$d/bench.dbf"; }
run_ogr_import()   { CMD=(ogr2ogr -append -nln BENCH -gt 10000 "$T/ogr.db" "$d/bench.dbf"); }
check_ogr_import() { checkCount "$T/ogr.db" BENCH; }

prep_ogr_export()  { rm -rf "$T/ogrex"; mkdir -p "$T/ogrex"; cp "$d/empty.dbf" "$T/ogrex/out.dbf"; warm "$d/bench.db"; }
run_ogr_export()   { CMD=(ogr2ogr -append -nln out "$T/ogrex/out.dbf" "$d/bench.db" BENCH); }
check_ogr_export() { checkDbf "$T/ogrex/out.dbf"; }

prep_floor_read()  { warm "$d/bench.dbf"; }
run_floor_read()   { CMD=("$WORK/bin/benchfloor" read "$d/bench.dbf"); }
check_floor_read() { :; }

prep_floor_read_block()  { warm "$d/bench.dbf"; }
run_floor_read_block()   { CMD=("$WORK/bin/benchfloor" readblocks "$d/bench.dbf"); }
check_floor_read_block() { grep -q "^$n records" "$log.out" || complain "read $(head -1 "$log.out")"; }

prep_floor_write()  { rm -f "$T/floor.dbf"; }
run_floor_write()   { CMD=("$WORK/bin/benchfloor" write "$d/empty.dbf" "$T/floor.dbf" "$n"); }
check_floor_write() { checkDbf "$T/floor.dbf"; }

prep_floor_write_block()  { rm -f "$T/floorb.dbf"; }
run_floor_write_block()   { CMD=("$WORK/bin/benchfloor" writeblocks "$d/empty.dbf" "$T/floorb.dbf" "$n"); }
check_floor_write_block() { checkDbf "$T/floorb.dbf"; }

prep_sqlite_import()  { cp "$d/empty.db" "$T/csv.db"; warm "$d/bench.csv"; }
run_sqlite_import()   { CMD=(sqlite3 "$T/csv.db" ".import --csv $d/bench.csv BENCH"); }
check_sqlite_import() { checkCount "$T/csv.db" BENCH; }

prep_sqlite_select()  { warm "$d/bench.db"; }
run_sqlite_select()   { CMD=(sqlite3 "$d/bench.db" "SELECT * FROM BENCH"); OUT=$T/select.txt; }
check_sqlite_select() { [ "$(wc -l <"$OUT")" = "$n" ] || complain "SELECT gave $(wc -l <"$OUT") lines"; }

complain() { bad=1; echo "bench: CHECK FAILED ($job, $n rows): $*" | tee -a "$WORK/check-failures.txt"; }

checkCount() {
  local got
  got=$(sqlite3 "$1" "SELECT count(*) FROM $2")
  [ "$got" = "$n" ] || complain "table $2 holds $got rows"
}

# The imported table must equal the generated one, value for value and type
# for type (checked on the first run of each size only: it takes a while).
checkTable() {
  checkCount "$1" "$2"
  [ "$run" = 1 ] || return 0
  local diff
  diff=$(sqlite3 "$1" "ATTACH '$d/bench.db' AS ref;
    SELECT count(*) FROM (SELECT *, typeof(AMOUNT), typeof(CREATED) FROM $2
      EXCEPT SELECT *, typeof(AMOUNT), typeof(CREATED) FROM ref.$2);")
  [ "$diff" = 0 ] || complain "$diff rows of $2 differ from the generated table"
}

checkDbf() {
  local size hl rl count
  size=$(stat -c %s "$1")
  hl=$(od -An -tu2 -j8 -N2 "$1" | tr -d ' ')
  rl=$(od -An -tu2 -j10 -N2 "$1" | tr -d ' ')
  count=$(( (size - hl) / rl ))
  [ "$count" = "$n" ] || complain "$1 holds $count records"
}

JOBS="indrift ogr_import floor_read floor_read_block sqlite_import"
JOBS="$JOBS exdrift ogr_export floor_write floor_write_block sqlite_select"
[ "$MEMO" = 1 ] && JOBS="$JOBS indrift_memo exdrift_memo"

rm -f "$WORK/check-failures.txt"
for run in $(seq 1 "$RUNS"); do
  for n in $SIZES; do
    d=$DATA/n$n
    T=$DATA/t$n
    mkdir -p "$T"
    for job in $JOBS; do
      log=$WORK/log/$job.$n.$run
      OUT=$log.out
      "prep_$job"
      "run_$job"
      warmProgram "${CMD[0]}"
      # Written-back data of the previous job would otherwise still be on its
      # way to the disk and slow down the commits (fdatasync) of this one.
      sync
      t0=$(date +%s%N)
      if ! /usr/bin/time -v -o "$log.time" "${CMD[@]}" >"$OUT" 2>"$log.err"; then
        echo "bench: $job failed ($n rows, run $run); see $OUT and $log.err"
        tail -5 "$OUT" "$log.err"
        exit 1
      fi
      t1=$(date +%s%N)
      bad=0
      "check_$job"
      # The targets of this job are not needed again: the next run copies in
      # fresh ones, and a 10-million-row run would not hold them all at once.
      find "$T" -mindepth 1 -delete
      awk -v bad="$bad" -v job="$job" -v n="$n" -v run="$run" -v wall="$(( (t1 - t0) / 1000 ))" '
        /User time/ { user = $NF } /System time/ { sys = $NF }
        /Maximum resident set size/ { rss = $NF }
        END { printf "%s %s %s %.3f %.2f %.2f %d %s\n", job, n, run, wall / 1e6, user, sys, rss, bad ? "wrong" : "ok" }' \
        "$log.time" >>"$RESULTS"
      printf '.'
    done
  done
done
echo

# ---- report: medians per job and size, rows per second, ratios, memory, and
# the goals table, every ratio from the medians of this one run
awk -v sizes="$SIZES" -v runs="$RUNS" -v memo="$MEMO" '
function median(key,   k, i, j, t, a) {
  k = cnt[key]
  for (i = 1; i <= k; i++) a[i] = val[key, i]
  for (i = 1; i <= k; i++) for (j = i + 1; j <= k; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
  return k % 2 ? a[(k + 1) / 2] : (a[k / 2] + a[k / 2 + 1]) / 2
}
function add(key, v) { val[key, ++cnt[key]] = v }
{ add($1 SUBSEP $2 SUBSEP "wall", $4); add($1 SUBSEP $2 SUBSEP "cpu", $5 + $6); add($1 SUBSEP $2 SUBSEP "rss", $7)
  if (!($1 in seen)) { seen[$1] = 1; order[++nj] = $1 }
  if ($8 == "wrong") wrong[$1] = 1 }
function W(j, n) { return median(j SUBSEP n SUBSEP "wall") }
function C(j, n,   c) { c = median(j SUBSEP n SUBSEP "cpu"); return c > 0 ? c : 0.005 }
function M(j, n) { return median(j SUBSEP n SUBSEP "rss") / 1024 }
function ratio(label, v) { printf "  %-46s %7.2f\n", label, v }
function goal(label, v, op, g) {
  printf "| %-52s | %9.2f | %s %-5.2f | %-7s |\n", label, v, op, g, (op == ">=" ? v >= g : v <= g) ? "met" : "NOT met"
}
END {
  ns = split(sizes, S, " ")
  for (s = 1; s <= ns; s++) {
    n = S[s]
    printf "\n%d rows, median of %d runs\n", n, runs
    printf "  %-17s %9s %9s %12s %11s\n", "job", "wall s", "cpu s", "rows/s", "peak MB"
    for (i = 1; i <= nj; i++) { j = order[i]
      printf "  %-17s %9.3f %9.2f %12.0f %11.1f%s\n", j, W(j, n), C(j, n), n / W(j, n), M(j, n),
        (j in wrong) ? "  WRONG RESULT" : "" }
    print "  ratios (wall clock):"
    ratio("indrift time / (pread floor + .import)", W("indrift", n) / (W("floor_read", n) + W("sqlite_import", n)))
    ratio("indrift time / (block read floor + .import)", W("indrift", n) / (W("floor_read_block", n) + W("sqlite_import", n)))
    ratio("exdrift time / (pwrite floor + SELECT)", W("exdrift", n) / (W("floor_write", n) + W("sqlite_select", n)))
    ratio("exdrift time / (block write floor + SELECT)", W("exdrift", n) / (W("floor_write_block", n) + W("sqlite_select", n)))
    print "  ratios (cpu time, user + system):"
    ratio("indrift / ogr2ogr import", C("indrift", n) / C("ogr_import", n))
    ratio("indrift / sqlite3 .import", C("indrift", n) / C("sqlite_import", n))
    ratio("indrift / (block read floor + .import)", C("indrift", n) / (C("floor_read_block", n) + C("sqlite_import", n)))
    ratio("exdrift / ogr2ogr export", C("exdrift", n) / C("ogr_export", n))
    ratio("exdrift / sqlite3 SELECT", C("exdrift", n) / C("sqlite_select", n))
    ratio("exdrift / (block write floor + SELECT)", C("exdrift", n) / (C("floor_write_block", n) + C("sqlite_select", n)))
  }

  big = S[1]; small = S[2]
  printf "\ngoals, %d rows, ratios of the medians of %d alternating runs (wall clock):\n\n", big, runs
  printf "| %-52s | %9s | %-8s | %-7s |\n", "ratio", "this run", "goal", ""
  printf "|%s|%s|%s|%s|\n", "------------------------------------------------------", "-----------", "----------", "---------"
  goal("indrift rows/s / ogr2ogr -append rows/s", W("ogr_import", big) / W("indrift", big), ">=", 5)
  goal("indrift time / sqlite3 .import time", W("indrift", big) / W("sqlite_import", big), "<=", 0.7)
  goal("exdrift rows/s / ogr2ogr rows/s", W("ogr_export", big) / W("exdrift", big), ">=", 8)
  goal("exdrift time / sqlite3 SELECT dump time", W("exdrift", big) / W("sqlite_select", big), "<=", 1.15)
  if (memo == 1) {
    goal("indrift with memos / indrift plain (time)", W("indrift_memo", big) / W("indrift", big), "<=", 1.3)
    goal("exdrift with memos / exdrift plain (time)", W("exdrift_memo", big) / W("exdrift", big), "<=", 1.3)
  }
  if (ns >= 2) {
    # Memory stays flat whatever the size; time grows with the rows, at most 5 %
    # faster than linearly.
    for (i = 1; i <= nj; i++) { j = order[i]
      if (j !~ /drift/) continue
      goal(sprintf("peak RSS, %s, %d / %d rows", j, big, small), M(j, big) / M(j, small), "<=", 1.1) }
    for (i = 1; i <= nj; i++) { j = order[i]
      if (j !~ /drift/) continue
      goal(sprintf("time, %s, %d / %d rows", j, big, small), W(j, big) / W(j, small), "<=", 1.05 * big / small) }
  }
}' "$RESULTS" | tee "$WORK/report.txt"

if [ -s "$WORK/check-failures.txt" ]; then
  echo
  echo "bench: some results were wrong (see above and $WORK/check-failures.txt)"
  exit 1
fi
