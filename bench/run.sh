#!/usr/bin/env bash
# Throughput benchmark of indrift and exdrift against ogr2ogr and the floors.
#
#   bench/run.sh [BUILD]          (make bench runs it on build/)
#
# Environment:
#   ROWS   rows of the large data set (default 1000000); the small one has ROWS/10
#   RUNS   timed runs of every job and size (default 3; the median is shown)
#   SEED   generator seed (default 1)
#   WORK   where data, targets and logs go (default BUILD/bench-data)
#   MEMO   1 (default) also times the memo variant of both drivers; 0 skips it
#
# Every round runs every job once, in a fixed order, so the jobs alternate and
# share whatever else the machine is doing.  Targets (an empty table, an empty
# dbf file) are copied in and dirty pages are synced before each run, outside
# the timing.  Each drift run
# is checked: the table must hold every row, the dbf file every record.
set -euo pipefail

BUILD=$(cd "${1:-build}" && pwd)
SRC=$(cd "$(dirname "$0")" && pwd)
ROWS=${ROWS:-1000000}
RUNS=${RUNS:-3}
SEED=${SEED:-1}
MEMO=${MEMO:-1}
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

SMALL=$((ROWS / 10))
SIZES="$ROWS $SMALL"

# ---- data sets (kept between runs of the script for the same size and seed)
for n in $SIZES; do
  d=$WORK/n$n
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
prep_indrift()  { cp "$d/empty.db" "$T/in.db"; }
run_indrift()   { CMD=("$BUILD/indrift" -S:"$T/in.db" -U:bench -P: -F:"$WORK/bench.cfg" -D:"$d/bench.dbf"); }
check_indrift() { checkTable "$T/in.db" BENCH; }

prep_exdrift()  { cp "$d/empty.dbf" "$T/ex.dbf"; }
run_exdrift()   { CMD=("$BUILD/exdrift" -S:"$d/bench.db" -U:bench -P: -F:"$WORK/bench.cfg" -D:"$T/ex.dbf"); }
check_exdrift() { checkDbf "$T/ex.dbf"; }

prep_indrift_memo()  { cp "$d/empty.db" "$T/inm.db"; }
run_indrift_memo()   { CMD=("$BUILD/indrift" -S:"$T/inm.db" -U:bench -P: -F:"$WORK/benchm.cfg" -D:"$d/benchm.dbf"); }
check_indrift_memo() { checkTable "$T/inm.db" BENCHM; }

prep_exdrift_memo()  { cp "$d/emptym.dbf" "$T/exm.dbf"; cp "$d/emptym.dbt" "$T/exm.dbt"; }
run_exdrift_memo()   { CMD=("$BUILD/exdrift" -S:"$d/bench.db" -U:bench -P: -F:"$WORK/benchm.cfg" -D:"$T/exm.dbf"); }
check_exdrift_memo() { checkDbf "$T/exm.dbf"; }

prep_ogr_import()  { cp "$d/empty.db" "$T/ogr.db"; }
run_ogr_import()   { CMD=(ogr2ogr -append -nln BENCH -gt 10000 "$T/ogr.db" "$d/bench.dbf"); }
check_ogr_import() { checkCount "$T/ogr.db" BENCH; }

prep_ogr_export()  { rm -rf "$T/ogrex"; mkdir -p "$T/ogrex"; cp "$d/empty.dbf" "$T/ogrex/out.dbf"; }
run_ogr_export()   { CMD=(ogr2ogr -append -nln out "$T/ogrex/out.dbf" "$d/bench.db" BENCH); }
check_ogr_export() { checkDbf "$T/ogrex/out.dbf"; }

prep_floor_read()  { :; }
run_floor_read()   { CMD=("$WORK/bin/benchfloor" read "$d/bench.dbf"); }
check_floor_read() { :; }

prep_floor_write()  { rm -f "$T/floor.dbf"; }
run_floor_write()   { CMD=("$WORK/bin/benchfloor" write "$d/empty.dbf" "$T/floor.dbf" "$n"); }
check_floor_write() { checkDbf "$T/floor.dbf"; }

prep_sqlite_import()  { cp "$d/empty.db" "$T/csv.db"; }
run_sqlite_import()   { CMD=(sqlite3 "$T/csv.db" ".import --csv $d/bench.csv BENCH"); }
check_sqlite_import() { checkCount "$T/csv.db" BENCH; }

prep_sqlite_select()  { :; }
run_sqlite_select()   { CMD=(sqlite3 "$d/bench.db" "SELECT * FROM BENCH"); }
check_sqlite_select() { [ "$(wc -l <"$log.out")" = "$n" ] || complain "SELECT gave $(wc -l <"$log.out") lines"; }

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

JOBS="indrift ogr_import floor_read sqlite_import exdrift ogr_export floor_write sqlite_select"
[ "$MEMO" = 1 ] && JOBS="$JOBS indrift_memo exdrift_memo"

rm -f "$WORK/check-failures.txt"
for run in $(seq 1 "$RUNS"); do
  for n in $SIZES; do
    d=$WORK/n$n
    T=$WORK/t$n
    mkdir -p "$T"
    for job in $JOBS; do
      "prep_$job"
      "run_$job"
      # Written-back data of the previous job would otherwise still be on its
      # way to the disk and slow down the commits (fdatasync) of this one.
      sync
      log=$WORK/log/$job.$n.$run
      t0=$(date +%s%N)
      if ! /usr/bin/time -v -o "$log.time" "${CMD[@]}" >"$log.out" 2>"$log.err"; then
        echo "bench: $job failed ($n rows, run $run); see $log.out and $log.err"
        tail -5 "$log.out" "$log.err"
        exit 1
      fi
      t1=$(date +%s%N)
      bad=0
      "check_$job"
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

# ---- report: medians per job and size, rows per second, ratios, memory
awk -v sizes="$SIZES" -v runs="$RUNS" '
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
function goal(label, v, op, g) {
  printf "  %-46s %7.2f   (goal %s %.2f: %s)\n", label, v, op, g, (op == ">=" ? v >= g : v <= g) ? "met" : "NOT met"
}
END {
  split(sizes, S, " ")
  for (s = 1; s <= 2; s++) {
    n = S[s]
    printf "\n%d rows, median of %d runs\n", n, runs
    printf "  %-16s %9s %9s %12s %11s\n", "job", "wall s", "cpu s", "rows/s", "peak MB"
    for (i = 1; i <= nj; i++) { j = order[i]
      printf "  %-16s %9.3f %9.2f %12.0f %11.1f%s\n", j, W(j, n), C(j, n), n / W(j, n), M(j, n),
        (j in wrong) ? "  WRONG RESULT" : "" }
    print "  ratios (wall clock):"
    goal("indrift rows/s / ogr2ogr rows/s", W("ogr_import", n) / W("indrift", n), ">=", 1.8)
    goal("indrift time / (pread floor + .import)", W("indrift", n) / (W("floor_read", n) + W("sqlite_import", n)), "<=", 1.15)
    goal("exdrift rows/s / ogr2ogr rows/s", W("ogr_export", n) / W("exdrift", n), ">=", 3)
    goal("exdrift time / (pwrite floor + SELECT)", W("exdrift", n) / (W("floor_write", n) + W("sqlite_select", n)), "<=", 1.15)
    print "  ratios (cpu time, user + system):"
    printf "  %-46s %7.2f\n", "indrift / ogr2ogr import", C("indrift", n) / C("ogr_import", n)
    printf "  %-46s %7.2f\n", "indrift / (pread floor + .import)", C("indrift", n) / (C("floor_read", n) + C("sqlite_import", n))
    printf "  %-46s %7.2f\n", "exdrift / ogr2ogr export", C("exdrift", n) / C("ogr_export", n)
    printf "  %-46s %7.2f\n", "exdrift / (pwrite floor + SELECT)", C("exdrift", n) / (C("floor_write", n) + C("sqlite_select", n))
  }
  printf "\npeak memory, %d rows against %d rows:\n", S[1], S[2]
  for (i = 1; i <= nj; i++) { j = order[i]
    if (j !~ /drift/) continue
    r = M(j, S[1]) / M(j, S[2])
    printf "  %-16s %8.1f MB %8.1f MB  ratio %.3f (goal within 10%%: %s)\n", j, M(j, S[1]), M(j, S[2]), r,
      (r <= 1.10 && r >= 0.90) ? "met" : "NOT met" }
}' "$RESULTS" | tee "$WORK/report.txt"

if [ -s "$WORK/check-failures.txt" ]; then
  echo
  echo "bench: some results were wrong (see above and $WORK/check-failures.txt)"
  exit 1
fi
