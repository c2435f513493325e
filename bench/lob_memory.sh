#!/bin/sh
# lob_memory.sh BUILD: peak memory of exdrift and indrift on a section of large
# memos moved through a CLOB column, at the default block size.
#
# RECORDS (default 10000) rows with MEMO_BYTES (default 102400) bytes of memo
# each go from a CLOB column into a memo file and back into another table; each
# program's peak resident set comes from /usr/bin/time -v and must stay under
# LIMIT_KB (default 262144, 256 MB).  The data (about 3 GB for the defaults)
# goes to WORK (default BUILD/lob-memory) and is removed afterwards.
set -eu
BUILD=${1:?usage: lob_memory.sh BUILD}
BUILD=$(cd "$BUILD" && pwd)
RECORDS=${RECORDS:-10000}
MEMO_BYTES=${MEMO_BYTES:-102400}
LIMIT_KB=${LIMIT_KB:-262144}
WORK=${WORK:-$BUILD/lob-memory}

rm -rf "$WORK"
mkdir -p "$WORK"
cd "$WORK"
sqlite3 shop.db "CREATE TABLE NOTES (ID NUMBER(8), BODY CLOB);
CREATE TABLE BACK (ID NUMBER(8), BODY CLOB);
WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < $RECORDS)
INSERT INTO NOTES SELECT x, printf('%.*c', $MEMO_BYTES, 'x') FROM c;"
"$BUILD/dbftool" create notes.dbf ID:N:8 BODY:M >/dev/null
printf '%%TABLE_NAME=NOTES\n%%DBF_NAME=notes\nID=ID\nBODY=BODY\n' > export.cfg
printf '%%TABLE_NAME=BACK\n%%DBF_NAME=notes\nID=ID\nBODY=BODY\n' > import.cfg

status=0
for job in "exdrift export.cfg" "indrift import.cfg"; do
  set -- $job
  /usr/bin/time -v -o "$1.time" "$BUILD/$1" -S:shop.db -U:bench -P:bench -F:"$2" -C >/dev/null
  peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$1.time")
  wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$1.time")
  echo "$1: $RECORDS memos of $MEMO_BYTES bytes, peak RSS $peak kB (limit $LIMIT_KB), $wall"
  [ "$peak" -lt "$LIMIT_KB" ] || status=1
done
moved=$(sqlite3 shop.db "SELECT count(*) || ' ' || sum(length(BODY)) FROM BACK")
expected="$RECORDS $((RECORDS * MEMO_BYTES))"
echo "moved back: $moved (expected $expected)"
[ "$moved" = "$expected" ] || status=1
cd / && rm -rf "$WORK"
exit $status
