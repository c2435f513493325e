#!/usr/bin/env bash
# The demo: the whole job on the embedded database, in a scratch directory
# (<build>/demo, made afresh on every run).
#
#   1. a SQLite database with seed rows (Cyrillic text, notes) and two tables;
#   2. the "old system's" dbf file clients.dbf (code page 866, a memo field),
#      made with dbftool create and filled from the seed rows, one record then
#      marked deleted;
#   3. indrift imports clients.dbf into CLIENTS (the deleted record stays out;
#      the record numbers and the file name go along);
#   4. exdrift exports the VIP clients into vip.dbf, made with dbftool create;
#   5. both results: sqlite3 for the table, dbftool dump for the dbf files.
#
# Usage: scripts/demo.sh [build directory]   (default: build)
set -euo pipefail

BUILD=$(cd "${1:-build}" && pwd)
for program in indrift exdrift dbftool; do
  if [ ! -x "$BUILD/$program" ]; then
    echo "demo: $BUILD/$program is missing; build first (make demo does)" >&2
    exit 1
  fi
done
command -v sqlite3 >/dev/null || { echo "demo: the sqlite3 command is missing" >&2; exit 1; }

WORK="$BUILD/demo"
rm -rf "$WORK"
mkdir -p "$WORK"
cd "$WORK"

if [ -t 1 ]; then bold=$'\033[1m' plain=$'\033[0m'; else bold='' plain=''; fi
step() { printf '\n%s=== %s%s\n' "$bold" "$*" "$plain"; }
show() { printf '$ %s\n' "$*"; "$@"; }

step "1. A SQLite database: demo.db"
sqlite3 demo.db <<'SQL'
-- Seed rows of the old system, and the tables the programs fill.
CREATE TABLE SEED (NAME VARCHAR2(20), CITY VARCHAR2(15), BALANCE NUMBER(10,2),
                   JOINED DATE, VIP NUMBER(1), NOTES VARCHAR2(2000), POS NUMBER(3));
INSERT INTO SEED VALUES ('Иванов Иван', 'Москва', 1520.5, '2019-03-14 00:00:00', 1,
                         'Постоянный клиент, скидка 5%', 1);
INSERT INTO SEED VALUES ('Smith John', 'London', -42.75, '2021-11-02 00:00:00', 0, NULL, 2);
INSERT INTO SEED VALUES ('Closed Account', 'Омск', 0, '2015-01-01 00:00:00', 0,
                         'This record is deleted in the dbf file', 3);
INSERT INTO SEED VALUES ('Петрова Анна', 'Санкт-Петербург', 98000, NULL, 1,
                         'Звонить после 18:00. Предпочитает связь по почте.', 4);
CREATE TABLE CLIENTS (NAME VARCHAR2(40), CITY VARCHAR2(30), BALANCE NUMBER(10,2),
                      JOINED DATE, VIP NUMBER(1), NOTES VARCHAR2(2000),
                      RECNO NUMBER(6), SOURCE VARCHAR2(20));
SQL
show sqlite3 -header demo.db "SELECT NAME, CITY, BALANCE, JOINED, VIP FROM SEED ORDER BY POS"

step "2. The old system's dbf file: clients.dbf (code page 866, memo in clients.dbt)"
show "$BUILD/dbftool" create clients.dbf NAME:C:20 CITY:C:15 BALANCE:N:10:2 JOINED:D VIP:L NOTES:M
cat > seed.cfg <<'CFG'
// The seed rows into the empty clients.dbf
%BEGIN_SECTION SEED
%TABLE_NAME=SEED
%DBF_NAME=clients
NAME=NAME
CITY=CITY
BALANCE=BALANCE
JOINED=JOINED
VIP=VIP
NOTES=NOTES
%END_SECTION
CFG
"$BUILD/exdrift" -S:demo.db -U:demo -P:demo -F:seed.cfg -O:POS -C >/dev/null
# Mark record 3 deleted: its first byte becomes '*'.
header=$("$BUILD/dbftool" info clients.dbf | awk '/^Header length:/ {print $3}')
record=$("$BUILD/dbftool" info clients.dbf | awk '/^Record length:/ {print $3}')
printf '*' | dd of=clients.dbf bs=1 seek=$((header + 2 * record)) conv=notrunc status=none
show "$BUILD/dbftool" dump --json --encoding cp866 clients.dbf
echo "(the name of record 1 as stored, code page 866 bytes:)"
dd if=clients.dbf bs=1 skip=$((header + 1)) count=11 status=none | od -An -tx1

step "3. indrift: clients.dbf into the table CLIENTS"
cat > import.cfg <<'CFG'
// One section: every field, plus the record number and the file name.
%BEGIN_SECTION CLIENTS
%TABLE_NAME=CLIENTS
%DBF_NAME=clients
%TRUNCATE=ON
NAME=NAME
CITY=CITY
BALANCE=BALANCE
JOINED=JOINED
VIP=VIP
NOTES=NOTES
RECNO=%RECNUM
SOURCE=%FILE_NAME
%END_SECTION
CFG
show cat import.cfg
show "$BUILD/indrift" -S:demo.db -U:demo -P:demo -F:import.cfg -R:demo.log

step "4. exdrift: the VIP clients into vip.dbf"
show "$BUILD/dbftool" create vip.dbf NAME:C:20 CITY:C:15 BALANCE:N:10:2 JOINED:D NOTES:M
cat > export.cfg <<'CFG'
%BEGIN_SECTION VIP
%TABLE_NAME=CLIENTS
%DBF_NAME=vip
%WHERE="VIP = 1"
%ORDER_BY="BALANCE DESC"
NAME=NAME
CITY=CITY
BALANCE=BALANCE
JOINED=JOINED
NOTES=NOTES
%END_SECTION
CFG
show cat export.cfg
show "$BUILD/exdrift" -S:demo.db -U:demo -P:demo -F:export.cfg -R:demo.log

step "5. The results"
show sqlite3 -header demo.db \
  "SELECT RECNO, SOURCE, NAME, CITY, BALANCE, JOINED, VIP, NOTES FROM CLIENTS ORDER BY RECNO"
show "$BUILD/dbftool" dump --encoding cp866 vip.dbf
show cat demo.log
printf '\nThe files are in %s\n' "$WORK"
