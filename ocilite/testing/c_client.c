/*
 * A client of libocilite written in C: it includes oci.h as a C program
 * does and makes the calls of a small round trip.  The C++ test
 * (c_client_test.cc) runs it, so that the header stays valid C and the
 * library keeps its C linkage.
 */
#include "ocilite/testing/c_client.h"

#include "ocilite/oci.h"

#include <stdio.h>
#include <string.h>

static const OraText *T(const char *s) { return (const OraText *)s; }

static int run(OCISvcCtx *svc, OCIEnv *env, OCIError *err, const char *sql) {
  OCIStmt *stmt = NULL;
  sword rc;
  if (OCIHandleAlloc(env, (void **)&stmt, OCI_HTYPE_STMT, 0, NULL) != OCI_SUCCESS) return -1;
  rc = OCIStmtPrepare(stmt, err, T(sql), (ub4)strlen(sql), OCI_NTV_SYNTAX, OCI_DEFAULT);
  if (rc == OCI_SUCCESS) rc = OCIStmtExecute(svc, stmt, err, 1, 0, NULL, NULL, OCI_DEFAULT);
  OCIHandleFree(stmt, OCI_HTYPE_STMT);
  return rc;
}

int ociliteCClientRoundTrip(const char *dbPath, char *out, size_t outSize) {
  OCIEnv *env = NULL;
  OCIError *err = NULL;
  OCISvcCtx *svc = NULL;
  OCIStmt *stmt = NULL;
  OCIBind *bind = NULL;
  OCIDefine *define = NULL;
  char names[2][8] = {"first", "second"};
  char fetched[2][8];
  sb2 ind[2];
  ub4 rows = 0;
  sword rc;
  int status = 1;
  const char *insert = "INSERT INTO c_t VALUES (:name)";
  const char *query = "SELECT name FROM c_t ORDER BY name";

  out[0] = '\0';
  OCIInitialize(OCI_DEFAULT, NULL, NULL, NULL, NULL);
  if (OCIEnvInit(&env, OCI_DEFAULT, 0, NULL) != OCI_SUCCESS) return 1;
  if (OCIHandleAlloc(env, (void **)&err, OCI_HTYPE_ERROR, 0, NULL) != OCI_SUCCESS) return 1;
  if (OCILogon(env, err, &svc, T("c"), 1, T(""), 0, T(dbPath), (ub4)strlen(dbPath)) != OCI_SUCCESS) goto done;
  if (run(svc, env, err, "CREATE TABLE c_t (name VARCHAR2(8))") != OCI_SUCCESS) goto done;

  if (OCIHandleAlloc(env, (void **)&stmt, OCI_HTYPE_STMT, 0, NULL) != OCI_SUCCESS) goto done;
  if (OCIStmtPrepare(stmt, err, T(insert), (ub4)strlen(insert), OCI_NTV_SYNTAX, OCI_DEFAULT) != OCI_SUCCESS) goto done;
  if (OCIBindByName(stmt, &bind, err, T(":name"), -1, names, sizeof names[0], SQLT_STR, NULL, NULL, NULL, 0, NULL,
                    OCI_DEFAULT) != OCI_SUCCESS)
    goto done;
  if (OCIStmtExecute(svc, stmt, err, 2, 0, NULL, NULL, OCI_DEFAULT) != OCI_SUCCESS) goto done;
  if (OCITransCommit(svc, err, OCI_DEFAULT) != OCI_SUCCESS) goto done;

  if (OCIStmtPrepare(stmt, err, T(query), (ub4)strlen(query), OCI_NTV_SYNTAX, OCI_DEFAULT) != OCI_SUCCESS) goto done;
  if (OCIDefineByPos(stmt, &define, err, 1, fetched, sizeof fetched[0], SQLT_STR, ind, NULL, NULL, OCI_DEFAULT) !=
      OCI_SUCCESS)
    goto done;
  if (OCIStmtExecute(svc, stmt, err, 0, 0, NULL, NULL, OCI_DEFAULT) != OCI_SUCCESS) goto done;
  rc = OCIStmtFetch(stmt, err, 2, OCI_FETCH_NEXT, OCI_DEFAULT);
  if (rc != OCI_SUCCESS && rc != OCI_NO_DATA) goto done;
  if (OCIAttrGet(stmt, OCI_HTYPE_STMT, &rows, NULL, OCI_ATTR_ROW_COUNT, err) != OCI_SUCCESS) goto done;
  snprintf(out, outSize, "%u:%s,%s", rows, fetched[0], fetched[1]);
  status = 0;

done:
  if (status != 0) {
    sb4 code = 0;
    OCIErrorGet(err, 1, NULL, &code, (OraText *)out, (ub4)outSize, OCI_HTYPE_ERROR);
  }
  if (stmt) OCIHandleFree(stmt, OCI_HTYPE_STMT);
  if (svc && OCILogoff(svc, err) != OCI_SUCCESS) status = 1;
  OCIHandleFree(err, OCI_HTYPE_ERROR);
  OCIHandleFree(env, OCI_HTYPE_ENV);
  return status;
}
