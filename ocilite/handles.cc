// Placeholder entry points so that the programs link while the library grows.
#include "ocilite/oci.h"

#include <cstdlib>

extern "C" {

sword OCIInitialize(ub4, void *, void *(*)(void *, size_t), void *(*)(void *, void *, size_t),
                    void (*)(void *, void *)) {
  return OCI_SUCCESS;
}

sword OCIEnvInit(OCIEnv **envp, ub4, size_t, void **) {
  if (!envp) return OCI_INVALID_HANDLE;
  *envp = static_cast<OCIEnv *>(std::calloc(1, 64));
  return *envp ? OCI_SUCCESS : OCI_ERROR;
}

sword OCIHandleAlloc(const void *parenth, void **hndlpp, const ub4, const size_t, void **) {
  if (!parenth || !hndlpp) return OCI_INVALID_HANDLE;
  *hndlpp = std::calloc(1, 64);
  return *hndlpp ? OCI_SUCCESS : OCI_ERROR;
}

sword OCIHandleFree(void *hndlp, const ub4) {
  if (!hndlp) return OCI_INVALID_HANDLE;
  std::free(hndlp);
  return OCI_SUCCESS;
}

}
