/* benchfloor: the system-call floors of the dbf side of a transfer.
 *
 *   benchfloor read FILE.dbf
 *       Reads every record with one pread of one record length, as the
 *       engine's record walk does, and counts the live ones.
 *   benchfloor write TEMPLATE.dbf OUT.dbf ROWS
 *       Creates OUT.dbf with TEMPLATE's header and appends ROWS records the
 *       way the engine appends: one pwrite of the record and the 0x1A end
 *       byte, then one pwrite of the 10 header bytes (version, date, count,
 *       header length).  Each record image is a copy of the first record of
 *       TEMPLATE when it has one, else blanks, with its number written in.
 *
 *   benchfloor readblocks FILE.dbf
 *       The same walk over blocks of 64 KiB: one read per block, the records
 *       taken from the buffer (a record may straddle two blocks).
 *   benchfloor writeblocks TEMPLATE.dbf OUT.dbf ROWS
 *       The same records gathered in a 64 KiB buffer: one pwrite per full
 *       block (the last one with the 0x1A end byte), then one pwrite of the 10
 *       header bytes counting the records written so far.
 *
 * Nothing else is done per record, so a driver can at best approach these
 * times: the first two with one system call per record, the last two with
 * one per block.
 */
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

enum { kBlock = 64 * 1024 };

static void die(const char *what, const char *path) {
  fprintf(stderr, "benchfloor: %s %s: %s\n", what, path, strerror(errno));
  exit(1);
}

static unsigned get16(const unsigned char *p) { return p[0] | (unsigned)p[1] << 8; }

static int readHeader(int fd, const char *path, unsigned char *h, unsigned *headerLength, unsigned *recordLength) {
  if (pread(fd, h, 32, 0) != 32) die("cannot read header of", path);
  *headerLength = get16(h + 8);
  *recordLength = get16(h + 10);
  if (*headerLength <= 32 || *recordLength == 0) {
    fprintf(stderr, "benchfloor: %s is not a dbf file\n", path);
    exit(1);
  }
  return 0;
}

/* Opens a dbf file for a read floor: its lengths and the whole records it holds. */
static int openInput(const char *path, unsigned *headerLength, unsigned *recordLength, uint64_t *count) {
  unsigned char h[32];
  int fd = open(path, O_RDONLY);
  if (fd < 0) die("cannot open", path);
  readHeader(fd, path, h, headerLength, recordLength);
  struct stat st;
  if (fstat(fd, &st) != 0) die("cannot stat", path);
  *count = ((uint64_t)st.st_size - *headerLength) / *recordLength;
  return fd;
}

static int floorRead(const char *path) {
  unsigned headerLength, recordLength;
  uint64_t count;
  int fd = openInput(path, &headerLength, &recordLength, &count);
  char *rec = malloc(recordLength);
  uint64_t live = 0;
  for (uint64_t n = 0; n < count; n++) {
    if (pread(fd, rec, recordLength, (off_t)(headerLength + n * recordLength)) != (ssize_t)recordLength)
      die("short read in", path);
    live += rec[0] == ' ';
  }
  printf("%llu records, %llu live\n", (unsigned long long)count, (unsigned long long)live);
  free(rec);
  close(fd);
  return 0;
}

/* The output of a write floor: the template's header (count zero) written to a new file,
   and its first record (blanks when it has none) as the image every row starts from. */
struct Output {
  int fd;
  unsigned headerLength, recordLength;
  unsigned char *header;
  char *rec; /* recordLength bytes and room for the end byte */
};

static struct Output createOutput(const char *templatePath, const char *outPath) {
  struct Output o;
  unsigned char h[32];
  int in = open(templatePath, O_RDONLY);
  if (in < 0) die("cannot open", templatePath);
  readHeader(in, templatePath, h, &o.headerLength, &o.recordLength);
  o.header = malloc(o.headerLength);
  if (pread(in, o.header, o.headerLength, 0) != (ssize_t)o.headerLength) die("cannot read header of", templatePath);
  o.rec = malloc(o.recordLength + 1);
  if (pread(in, o.rec, o.recordLength, o.headerLength) != (ssize_t)o.recordLength) memset(o.rec, ' ', o.recordLength);
  close(in);

  o.fd = open(outPath, O_RDWR | O_CREAT | O_TRUNC, 0644);
  if (o.fd < 0) die("cannot create", outPath);
  memset(o.header + 4, 0, 4);
  if (pwrite(o.fd, o.header, o.headerLength, 0) != (ssize_t)o.headerLength) die("cannot write", outPath);
  return o;
}

/* A different image each time, as real rows are. */
static void numberRecord(struct Output *o, long long n) {
  char num[16];
  int len = snprintf(num, sizeof num, "%10lld", n + 1);
  if ((unsigned)len < o->recordLength) memcpy(o->rec + 1, num, (size_t)len);
}

/* The header's record count, rewritten as the programs do: its first 10 bytes. */
static void writeCount(struct Output *o, uint64_t count, const char *outPath) {
  for (int i = 0; i < 4; i++) o->header[4 + i] = (unsigned char)(count >> (8 * i));
  if (pwrite(o->fd, o->header, 10, 0) != 10) die("cannot write", outPath);
}

static void closeOutput(struct Output *o, const char *outPath, long long rows) {
  if (close(o->fd) != 0) die("cannot close", outPath);
  free(o->rec);
  free(o->header);
  printf("%lld records written\n", rows);
}

static int floorWrite(const char *templatePath, const char *outPath, long long rows) {
  struct Output o = createOutput(templatePath, outPath);
  o.rec[o.recordLength] = 0x1A;
  for (long long n = 0; n < rows; n++) {
    numberRecord(&o, n);
    if (pwrite(o.fd, o.rec, o.recordLength + 1, (off_t)(o.headerLength + (uint64_t)n * o.recordLength)) !=
        (ssize_t)(o.recordLength + 1))
      die("cannot write", outPath);
    writeCount(&o, (uint64_t)(n + 1), outPath);
  }
  closeOutput(&o, outPath, rows);
  return 0;
}

static int floorReadBlocks(const char *path) {
  unsigned headerLength, recordLength;
  uint64_t count;
  int fd = openInput(path, &headerLength, &recordLength, &count);
  if (lseek(fd, headerLength, SEEK_SET) < 0) die("cannot seek in", path);
  /* Room for a block and the start of a record left over from the last one. */
  char *buffer = malloc(kBlock + recordLength);
  size_t held = 0, at = 0;
  uint64_t live = 0;
  for (uint64_t n = 0; n < count; n++) {
    if (held - at < recordLength) {
      memmove(buffer, buffer + at, held - at);
      held -= at;
      at = 0;
      ssize_t got = read(fd, buffer + held, kBlock);
      if (got <= 0 || held + (size_t)got < recordLength) die("short read in", path);
      held += (size_t)got;
    }
    live += buffer[at] == ' ';
    at += recordLength;
  }
  printf("%llu records, %llu live\n", (unsigned long long)count, (unsigned long long)live);
  free(buffer);
  close(fd);
  return 0;
}

static int floorWriteBlocks(const char *templatePath, const char *outPath, long long rows) {
  struct Output o = createOutput(templatePath, outPath);
  unsigned recordLength = o.recordLength;
  /* Whole records only, and room for the end byte after them. */
  size_t perBlock = kBlock / recordLength > 0 ? kBlock / recordLength : 1;
  char *block = malloc(perBlock * recordLength + 1);
  size_t gathered = 0;
  uint64_t written = 0; /* records on the disk */
  for (long long n = 0; n < rows; n++) {
    numberRecord(&o, n);
    memcpy(block + gathered * recordLength, o.rec, recordLength);
    if (++gathered < perBlock && n + 1 < rows) continue;
    block[gathered * recordLength] = 0x1A;
    size_t bytes = gathered * recordLength + 1;
    if (pwrite(o.fd, block, bytes, (off_t)(o.headerLength + written * recordLength)) != (ssize_t)bytes)
      die("cannot write", outPath);
    written += gathered;
    gathered = 0;
    writeCount(&o, written, outPath);
  }
  free(block);
  closeOutput(&o, outPath, rows);
  return 0;
}

int main(int argc, char **argv) {
  if (argc == 3 && !strcmp(argv[1], "read")) return floorRead(argv[2]);
  if (argc == 3 && !strcmp(argv[1], "readblocks")) return floorReadBlocks(argv[2]);
  if (argc == 5 && !strcmp(argv[1], "write")) return floorWrite(argv[2], argv[3], atoll(argv[4]));
  if (argc == 5 && !strcmp(argv[1], "writeblocks")) return floorWriteBlocks(argv[2], argv[3], atoll(argv[4]));
  fprintf(stderr, "usage: benchfloor read|readblocks FILE.dbf | benchfloor write|writeblocks TEMPLATE.dbf OUT.dbf ROWS\n");
  return 2;
}
