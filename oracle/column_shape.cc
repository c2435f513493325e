// OracleStatement::columnCount and columnShape: the parts of a describe that only a
// caller making a dbf file to a table's shape needs (dbftool create --like).
#include "oracle/oracle_session.h"

#if !DRIFT_IMPORT_BUILD

namespace {

// The descriptor OCIParamGet handed out, freed when the shape has been read.
struct FreedParameter {
  OCIParam *parameter;
  ~FreedParameter() {
    if (parameter) OCIDescriptorFree(parameter, OCI_DTYPE_PARAM);
  }
};

}  // namespace

int OracleStatement::columnCount() {
  requirePrepared();
  session->setDetail("'count' of columns");
  ub4 count = 0;
  session->status =
      OCIAttrGet(handle, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_PARAM_COUNT, session->error);
  if (session->status != OCI_SUCCESS) throw OracleErrorCode::AttrGet;
  return static_cast<int>(count);
}

void OracleStatement::columnShape(int position, int *precision, int *scale, int *charLength) {
  FreedParameter described{selectItem(position)};
  OCIParam *parameter = described.parameter;
  // Implicit describe: precision is an sb2, scale an sb1, the character length a ub2.
  sb2 p = 0;
  sb1 s = 0;
  ub2 chars = 0;
  session->setDetail("'precision' from column %i", position);
  session->status =
      OCIAttrGet(parameter, OCI_DTYPE_PARAM, &p, nullptr, OCI_ATTR_PRECISION, session->error);
  if (session->status != OCI_SUCCESS) throw OracleErrorCode::AttrGet;
  session->setDetail("'scale' from column %i", position);
  session->status =
      OCIAttrGet(parameter, OCI_DTYPE_PARAM, &s, nullptr, OCI_ATTR_SCALE, session->error);
  if (session->status != OCI_SUCCESS) throw OracleErrorCode::AttrGet;
  session->setDetail("'char size' from column %i", position);
  session->status =
      OCIAttrGet(parameter, OCI_DTYPE_PARAM, &chars, nullptr, OCI_ATTR_CHAR_SIZE, session->error);
  if (session->status != OCI_SUCCESS) throw OracleErrorCode::AttrGet;
  *precision = p;
  *scale = s;
  *charLength = chars;
}

#endif
