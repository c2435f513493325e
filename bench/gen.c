/* benchgen: writes the benchmark's input data, the same rows in every form.
 *
 *   benchgen [-n ROWS] [-s SEED] OUTDIR
 *
 * Files written into OUTDIR (ROWS defaults to 1000000, SEED to 1):
 *   bench.dbf        dBASE III data file, version 0x03:
 *                      ID N(10,0), NAME C(40), AMOUNT N(12,2), CREATED D,
 *                      ACTIVE L, NOTE C(100)
 *   empty.dbf        the same structure with no records (the export target)
 *   benchm.dbf/.dbt  the memo variant, version 0x83: the fields above plus
 *                      MEMO M(10), with its DBT memo file
 *   emptym.dbf/.dbt  the memo variant with no records
 *   bench.csv        the rows as stored in SQLite, as CSV (no header line)
 *   bench.db         SQLite database with BENCH and BENCHM holding the rows
 *   empty.db         the same tables, empty (the import target)
 *
 * Text is code page 866 in the dbf files and UTF-8 in SQLite, as the programs
 * convert it.  The SQLite values are stored the way libocilite stores what
 * the import binds: NUMBER as INTEGER when whole, else REAL; DATE as
 * "YYYY-MM-DD HH:MM:SS" text; empty text as NULL; ACTIVE as 1 or 0.  So the
 * table equals what an import of bench.dbf leaves behind, and an export of it
 * reads the rows the import would.
 *
 * Rows depend only on ROWS and SEED: the same arguments give the same bytes.
 */
#include <errno.h>
#include <inttypes.h>
#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* ---- deterministic random numbers (splitmix64) ---- */

static uint64_t rngState;

static uint64_t rnd(void) {
  uint64_t z = (rngState += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

/* Uniform in [0, n). */
static unsigned below(unsigned n) { return (unsigned)(rnd() % n); }

/* ---- text in both encodings ---- */

/* A value built in code page 866 (dbf side) and UTF-8 (SQLite side) at once. */
typedef struct {
  char oem[256];
  int oemLen;
  char utf8[512];
  int utf8Len;
} Text;

static void textClear(Text *t) { t->oemLen = t->utf8Len = 0; }

static void textAscii(Text *t, char c) {
  t->oem[t->oemLen++] = c;
  t->utf8[t->utf8Len++] = c;
}

/* Cyrillic letter k of 66: А..Я (0..31), а..я (32..63), Ё, ё. */
static void textCyrillic(Text *t, unsigned k) {
  unsigned char oem;
  unsigned cp;
  if (k < 32) { oem = (unsigned char)(0x80 + k); cp = 0x410 + k; }
  else if (k < 48) { oem = (unsigned char)(0xA0 + k - 32); cp = 0x430 + k - 32; }
  else if (k < 64) { oem = (unsigned char)(0xE0 + k - 48); cp = 0x440 + k - 48; }
  else if (k == 64) { oem = 0xF0; cp = 0x401; }
  else { oem = 0xF1; cp = 0x451; }
  t->oem[t->oemLen++] = (char)oem;
  t->utf8[t->utf8Len++] = (char)(0xC0 | (cp >> 6));
  t->utf8[t->utf8Len++] = (char)(0x80 | (cp & 0x3F));
}

/* Words separated by single blanks, never a leading or trailing blank, at
 * most maxChars characters.  Cyrillic words when cyr is set: the SQLite side
 * then takes two bytes a letter, so callers halve maxChars for VARCHAR2(n). */
static void textWords(Text *t, int maxChars, int cyr) {
  int chars = 0;
  textClear(t);
  int target = 3 + (int)below((unsigned)(maxChars - 2));
  while (chars < target) {
    int len = 2 + (int)below(9);
    if (chars > 0) {
      if (chars + 1 + len > target) break;
      textAscii(t, ' ');
      chars++;
    } else if (len > target) {
      len = target;
    }
    for (int i = 0; i < len; i++) {
      int upper = i == 0;
      if (cyr) {
        unsigned k = below(100) == 0 ? 64 + (upper ? 0 : 1) : (upper ? below(32) : 32 + below(32));
        textCyrillic(t, k);
      } else {
        textAscii(t, (char)((upper ? 'A' : 'a') + below(26)));
      }
    }
    chars += len;
  }
}

/* ---- one row ---- */

typedef struct {
  int64_t id;
  Text name;        /* empty = NULL */
  int64_t cents;    /* AMOUNT x 100 */
  int year, month, day; /* year 0 = blank date */
  int active;
  Text note;        /* empty = NULL */
  Text memo;        /* memo variant only; empty = no memo */
} Row;

static const int kDaysIn[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

static void makeRow(Row *r, int64_t id) {
  r->id = id;
  unsigned k = below(1000);
  if (k < 5) textClear(&r->name);
  else textWords(&r->name, k < 500 ? 20 : 40, k < 500);
  int64_t cents = (int64_t)(rnd() % 2000000001ull) - 1000000000;
  if (below(10) == 0) cents -= cents % 100; /* some whole amounts */
  r->cents = cents;
  if (below(100) == 0) {
    r->year = 0;
  } else {
    r->year = 1990 + (int)below(36);
    r->month = 1 + (int)below(12);
    int dim = kDaysIn[r->month - 1] +
              (r->month == 2 && r->year % 4 == 0 && (r->year % 100 != 0 || r->year % 400 == 0));
    r->day = 1 + (int)below((unsigned)dim);
  }
  r->active = below(3) != 0;
  k = below(10);
  if (k == 0) textClear(&r->note);
  else textWords(&r->note, k < 8 ? 100 : 50, k >= 8);
  /* The memo: empty for half the rows, else up to 250 characters. */
  k = below(10);
  if (k < 5) textClear(&r->memo);
  else textWords(&r->memo, k == 5 ? 250 : 120, k == 5);
}

/* ---- dbf ---- */

typedef struct {
  const char *name;
  char type;
  int length, decimals;
} Field;

static const Field kFields[] = {
    {"ID", 'N', 10, 0},   {"NAME", 'C', 40, 0},  {"AMOUNT", 'N', 12, 2},
    {"CREATED", 'D', 8, 0}, {"ACTIVE", 'L', 1, 0}, {"NOTE", 'C', 100, 0},
    {"MEMO", 'M', 10, 0},
};
enum { kPlainFields = 6, kMemoFields = 7 };

static void put16(unsigned char *p, unsigned v) { p[0] = (unsigned char)v; p[1] = (unsigned char)(v >> 8); }
static void put32(unsigned char *p, uint32_t v) {
  for (int i = 0; i < 4; i++) p[i] = (unsigned char)(v >> (8 * i));
}

static int recordLength(int nField) {
  int len = 1;
  for (int i = 0; i < nField; i++) len += kFields[i].length;
  return len;
}

/* Header, descriptors and terminator; returns the header length. */
static int writeDbfHeader(FILE *f, int nField, uint32_t count) {
  unsigned char h[32 + 32 * kMemoFields + 1];
  int headerLength = 32 + 32 * nField + 1;
  memset(h, 0, sizeof h);
  h[0] = nField == kMemoFields ? 0x83 : 0x03;
  h[1] = 126; h[2] = 1; h[3] = 1; /* 2026-01-01: fixed, so files repeat */
  put32(h + 4, count);
  put16(h + 8, (unsigned)headerLength);
  put16(h + 10, (unsigned)recordLength(nField));
  h[29] = 0x65; /* language driver: code page 866, for readers that look */
  for (int i = 0; i < nField; i++) {
    unsigned char *d = h + 32 + 32 * i;
    memcpy(d, kFields[i].name, strlen(kFields[i].name));
    d[11] = (unsigned char)kFields[i].type;
    d[16] = (unsigned char)kFields[i].length;
    d[17] = (unsigned char)kFields[i].decimals;
  }
  h[32 + 32 * nField] = 0x0D;
  if (fwrite(h, 1, (size_t)headerLength, f) != (size_t)headerLength) return -1;
  return headerLength;
}

static void padText(char *dst, int width, const char *src, int len) {
  if (len > width) len = width;
  memcpy(dst, src, (size_t)len);
  memset(dst + len, ' ', (size_t)(width - len));
}

/* Right-aligned decimal of cents with two decimals, or zero decimals. */
static void amountText(char *dst, int width, int64_t cents) {
  char buf[32];
  int64_t a = cents < 0 ? -cents : cents;
  int n = snprintf(buf, sizeof buf, "%s%" PRId64 ".%02d", cents < 0 ? "-" : "", a / 100, (int)(a % 100));
  memset(dst, ' ', (size_t)width);
  memcpy(dst + width - n, buf, (size_t)n);
}

static void numberText(char *dst, int width, int64_t v) {
  char buf[32];
  int n = snprintf(buf, sizeof buf, "%" PRId64, v);
  memset(dst, ' ', (size_t)width);
  memcpy(dst + width - n, buf, (size_t)n);
}

/* Fills the record image of row r; memoBlock 0 = no memo. */
static void buildRecord(char *rec, const Row *r, int nField, uint32_t memoBlock) {
  char *p = rec;
  *p++ = ' ';
  numberText(p, 10, r->id); p += 10;
  padText(p, 40, r->name.oem, r->name.oemLen); p += 40;
  amountText(p, 12, r->cents); p += 12;
  if (r->year) {
    char d[9];
    snprintf(d, sizeof d, "%04d%02d%02d", r->year, r->month, r->day);
    memcpy(p, d, 8);
  } else {
    memset(p, ' ', 8);
  }
  p += 8;
  *p++ = r->active ? 'T' : 'F';
  padText(p, 100, r->note.oem, r->note.oemLen); p += 100;
  if (nField == kMemoFields) {
    if (memoBlock) numberText(p, 10, memoBlock);
    else memset(p, ' ', 10);
  }
}

/* ---- output files ---- */

typedef struct {
  FILE *dbf, *dbfm, *dbt, *csv;
  uint32_t nextBlock; /* next free DBT block */
  char *rec, *recm;
} Out;

static FILE *openOut(const char *dir, const char *name) {
  char path[4096];
  snprintf(path, sizeof path, "%s/%s", dir, name);
  FILE *f = fopen(path, "wb");
  if (!f) {
    fprintf(stderr, "benchgen: cannot create %s: %s\n", path, strerror(errno));
    exit(1);
  }
  setvbuf(f, NULL, _IOFBF, 1 << 20);
  return f;
}

static void closeOut(FILE *f, const char *name) {
  if (ferror(f) || fclose(f) != 0) {
    fprintf(stderr, "benchgen: write error on %s\n", name);
    exit(1);
  }
}

static void writeEmptyDbt(FILE *f, uint32_t nextBlock) {
  unsigned char b[512];
  memset(b, 0, sizeof b);
  put32(b, nextBlock);
  fwrite(b, 1, sizeof b, f);
}

/* Appends a memo at the next free block: text, 0x1A, padded to whole blocks. */
static uint32_t writeMemo(Out *o, const Text *t) {
  if (t->oemLen == 0) return 0;
  uint32_t block = o->nextBlock;
  size_t used = (size_t)t->oemLen + 1;
  size_t blocks = (used + 511) / 512;
  static char pad[512];
  fwrite(t->oem, 1, (size_t)t->oemLen, o->dbt);
  fputc(0x1A, o->dbt);
  fwrite(pad, 1, blocks * 512 - used, o->dbt);
  o->nextBlock += (uint32_t)blocks;
  return block;
}

static void csvText(FILE *f, const Text *t) {
  /* Generated text never holds a comma, quote or line break. */
  fwrite(t->utf8, 1, (size_t)t->utf8Len, f);
}

static void amountPlain(char *buf, size_t size, int64_t cents) {
  int64_t a = cents < 0 ? -cents : cents;
  if (a % 100 == 0) snprintf(buf, size, "%" PRId64, cents / 100);
  else snprintf(buf, size, "%s%" PRId64 ".%02d", cents < 0 ? "-" : "", a / 100, (int)(a % 100));
}

/* ---- SQLite ---- */

static const char *kCreate =
    "CREATE TABLE BENCH (ID NUMBER(10), NAME VARCHAR2(40), AMOUNT NUMBER(12,2), CREATED DATE, "
    "ACTIVE NUMBER(1), NOTE VARCHAR2(100));"
    "CREATE TABLE BENCHM (ID NUMBER(10), NAME VARCHAR2(40), AMOUNT NUMBER(12,2), CREATED DATE, "
    "ACTIVE NUMBER(1), NOTE VARCHAR2(100), MEMO VARCHAR2(1000));";

static void sqlCheck(sqlite3 *db, int rc, const char *what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    fprintf(stderr, "benchgen: %s: %s\n", what, sqlite3_errmsg(db));
    exit(1);
  }
}

static sqlite3 *openDb(const char *dir, const char *name) {
  char path[4096];
  sqlite3 *db;
  snprintf(path, sizeof path, "%s/%s", dir, name);
  remove(path);
  if (sqlite3_open(path, &db) != SQLITE_OK) {
    fprintf(stderr, "benchgen: cannot create %s\n", path);
    exit(1);
  }
  sqlCheck(db, sqlite3_exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;", NULL, NULL, NULL), "pragma");
  sqlCheck(db, sqlite3_exec(db, kCreate, NULL, NULL, NULL), "create");
  return db;
}

static void bindText(sqlite3_stmt *s, int i, const Text *t) {
  if (t->utf8Len == 0) sqlite3_bind_null(s, i);
  else sqlite3_bind_text(s, i, t->utf8, t->utf8Len, SQLITE_STATIC);
}

static void bindRow(sqlite3_stmt *s, const Row *r) {
  char date[24];
  sqlite3_bind_int64(s, 1, r->id);
  bindText(s, 2, &r->name);
  if (r->cents % 100 == 0) sqlite3_bind_int64(s, 3, r->cents / 100);
  else sqlite3_bind_double(s, 3, (double)r->cents / 100.0);
  if (r->year) {
    snprintf(date, sizeof date, "%04d-%02d-%02d 00:00:00", r->year, r->month, r->day);
    sqlite3_bind_text(s, 4, date, -1, SQLITE_TRANSIENT);
  } else {
    sqlite3_bind_null(s, 4);
  }
  sqlite3_bind_int(s, 5, r->active);
  bindText(s, 6, &r->note);
}

int main(int argc, char **argv) {
  long long rows = 1000000;
  unsigned long long seed = 1;
  const char *dir = NULL;
  for (int i = 1; i < argc; i++) {
    if (!strcmp(argv[i], "-n") && i + 1 < argc) rows = atoll(argv[++i]);
    else if (!strcmp(argv[i], "-s") && i + 1 < argc) seed = strtoull(argv[++i], NULL, 10);
    else if (argv[i][0] != '-' && !dir) dir = argv[i];
    else dir = NULL, i = argc;
  }
  if (!dir || rows < 0 || rows > 100000000) {
    fprintf(stderr, "usage: benchgen [-n ROWS] [-s SEED] OUTDIR\n");
    return 2;
  }
  rngState = seed * 0x2545F4914F6CDD1Dull + 1;

  /* Empty targets. */
  FILE *f = openOut(dir, "empty.dbf");
  writeDbfHeader(f, kPlainFields, 0);
  fputc(0x1A, f);
  closeOut(f, "empty.dbf");
  f = openOut(dir, "emptym.dbf");
  writeDbfHeader(f, kMemoFields, 0);
  fputc(0x1A, f);
  closeOut(f, "emptym.dbf");
  f = openOut(dir, "emptym.dbt");
  writeEmptyDbt(f, 1);
  closeOut(f, "emptym.dbt");
  sqlite3 *edb = openDb(dir, "empty.db");
  sqlite3_close(edb);

  Out o;
  o.dbf = openOut(dir, "bench.dbf");
  o.dbfm = openOut(dir, "benchm.dbf");
  o.dbt = openOut(dir, "benchm.dbt");
  o.csv = openOut(dir, "bench.csv");
  o.nextBlock = 1;
  writeDbfHeader(o.dbf, kPlainFields, (uint32_t)rows);
  writeDbfHeader(o.dbfm, kMemoFields, (uint32_t)rows);
  writeEmptyDbt(o.dbt, 0); /* rewritten at the end with the next free block */
  int recLen = recordLength(kPlainFields), recLenM = recordLength(kMemoFields);
  o.rec = malloc((size_t)recLen);
  o.recm = malloc((size_t)recLenM);

  sqlite3 *db = openDb(dir, "bench.db");
  sqlite3_stmt *ins, *insm;
  sqlCheck(db, sqlite3_exec(db, "BEGIN", NULL, NULL, NULL), "begin");
  sqlCheck(db, sqlite3_prepare_v2(db, "INSERT INTO BENCH VALUES (?,?,?,?,?,?)", -1, &ins, NULL), "prepare");
  sqlCheck(db, sqlite3_prepare_v2(db, "INSERT INTO BENCHM VALUES (?,?,?,?,?,?,?)", -1, &insm, NULL), "prepare");

  Row r;
  for (long long i = 1; i <= rows; i++) {
    makeRow(&r, i);
    buildRecord(o.rec, &r, kPlainFields, 0);
    fwrite(o.rec, 1, (size_t)recLen, o.dbf);
    uint32_t block = writeMemo(&o, &r.memo);
    buildRecord(o.recm, &r, kMemoFields, block);
    fwrite(o.recm, 1, (size_t)recLenM, o.dbfm);

    char amount[32];
    amountPlain(amount, sizeof amount, r.cents);
    fprintf(o.csv, "%" PRId64 ",", r.id);
    csvText(o.csv, &r.name);
    fprintf(o.csv, ",%s,", amount);
    if (r.year) fprintf(o.csv, "%04d-%02d-%02d 00:00:00", r.year, r.month, r.day);
    fprintf(o.csv, ",%d,", r.active);
    csvText(o.csv, &r.note);
    fputc('\n', o.csv);

    bindRow(ins, &r);
    sqlCheck(db, sqlite3_step(ins), "insert");
    sqlite3_reset(ins);
    bindRow(insm, &r);
    bindText(insm, 7, &r.memo);
    sqlCheck(db, sqlite3_step(insm), "insert");
    sqlite3_reset(insm);
  }
  sqlite3_finalize(ins);
  sqlite3_finalize(insm);
  sqlCheck(db, sqlite3_exec(db, "COMMIT", NULL, NULL, NULL), "commit");
  sqlite3_close(db);

  fputc(0x1A, o.dbf);
  fputc(0x1A, o.dbfm);
  unsigned char next[4];
  put32(next, o.nextBlock);
  if (fseek(o.dbt, 0, SEEK_SET) == 0) fwrite(next, 1, 4, o.dbt);
  closeOut(o.dbf, "bench.dbf");
  closeOut(o.dbfm, "benchm.dbf");
  closeOut(o.dbt, "benchm.dbt");
  closeOut(o.csv, "bench.csv");
  free(o.rec);
  free(o.recm);
  return 0;
}
