/* The C client of libocilite's tests (c_client.c). */
#ifndef DRIFT_OCILITE_TESTING_C_CLIENT_H
#define DRIFT_OCILITE_TESTING_C_CLIENT_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Logs on to the database file dbPath, creates a table, inserts two rows
 * with one array execution, fetches them back and logs off.  Returns 0 and
 * "rows:first,second" in out, or 1 and the first error record. */
int ociliteCClientRoundTrip(const char *dbPath, char *out, size_t outSize);

#ifdef __cplusplus
}
#endif

#endif
