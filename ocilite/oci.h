/*
 * oci.h -- our own declarations of the documented Oracle Call Interface
 * subset that drift uses.
 *
 * The names, types, constant values and prototypes are those of the
 * vendor's published interface, so that a program compiled against this
 * header links unchanged against either libocilite (the embedded database
 * over SQLite, the default) or the vendor's client library.  Nothing here
 * may depend on SQLite or on anything else of libocilite.
 *
 * Integer widths follow the LP64 rules of the vendor's oratypes.h:
 * ub4/sb4/sword are 32 bits (int, never long), ub8/sb8 are 64 bits.
 */
#ifndef DRIFT_OCILITE_OCI_H
#define DRIFT_OCILITE_OCI_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- scalar types ------------------------------------------------------ */

typedef unsigned char  ub1;
typedef signed char    sb1;
typedef unsigned short ub2;
typedef signed short   sb2;
typedef unsigned int   ub4;
typedef signed int     sb4;
typedef unsigned long  ub8;
typedef signed long    sb8;
typedef unsigned int   uword;
typedef signed int     sword;
typedef int            eword;
typedef unsigned char  oratext;
typedef oratext        OraText;
#ifndef __cplusplus
typedef oratext        text;
#endif
typedef unsigned short utext;
typedef int            boolean;

#ifndef dvoid
#define dvoid void
#endif
#ifndef CONST
#define CONST const
#endif

/* ---- opaque handles and descriptors ------------------------------------ */

typedef struct OCIEnv      OCIEnv;
typedef struct OCIError    OCIError;
typedef struct OCISvcCtx   OCISvcCtx;
typedef struct OCIStmt     OCIStmt;
typedef struct OCIBind     OCIBind;
typedef struct OCIDefine   OCIDefine;
typedef struct OCIDescribe OCIDescribe;
typedef struct OCIServer   OCIServer;
typedef struct OCISession  OCISession;
typedef struct OCITrans    OCITrans;
typedef struct OCISnapshot OCISnapshot;
typedef struct OCIParam    OCIParam;

/* ---- return codes ------------------------------------------------------ */

#define OCI_SUCCESS            0
#define OCI_SUCCESS_WITH_INFO  1
#define OCI_NEED_DATA          99
#define OCI_NO_DATA            100
#define OCI_ERROR              (-1)
#define OCI_INVALID_HANDLE     (-2)
#define OCI_STILL_EXECUTING    (-3123)
#define OCI_CONTINUE           (-24200)
#define OCI_ROWCBK_DONE        (-24201)

/* ---- modes and flags --------------------------------------------------- */

#define OCI_DEFAULT                   0x00000000
#define OCI_THREADED                  0x00000001
#define OCI_OBJECT                    0x00000002
#define OCI_BATCH_MODE                0x00000001
#define OCI_EXACT_FETCH               0x00000002
#define OCI_STMT_SCROLLABLE_READONLY  0x00000008
#define OCI_DESCRIBE_ONLY             0x00000010
#define OCI_COMMIT_ON_SUCCESS         0x00000020
#define OCI_BATCH_ERRORS              0x00000080
#define OCI_PARSE_ONLY                0x00000100
#define OCI_DATA_AT_EXEC              0x00000002
#define OCI_DYNAMIC_FETCH             0x00000002

#define OCI_NTV_SYNTAX  1
#define OCI_V7_SYNTAX   2
#define OCI_V8_SYNTAX   3

#define OCI_FETCH_CURRENT   0x01
#define OCI_FETCH_NEXT      0x02
#define OCI_FETCH_FIRST     0x04
#define OCI_FETCH_LAST      0x08
#define OCI_FETCH_PRIOR     0x10
#define OCI_FETCH_ABSOLUTE  0x20
#define OCI_FETCH_RELATIVE  0x40

#define OCI_TRANS_NEW           0x00000001
#define OCI_TRANS_JOIN          0x00000002
#define OCI_TRANS_RESUME        0x00000004
#define OCI_TRANS_PROMOTE       0x00000008
#define OCI_TRANS_READONLY      0x00000100
#define OCI_TRANS_READWRITE     0x00000200
#define OCI_TRANS_SERIALIZABLE  0x00000400
#define OCI_TRANS_TWOPHASE      0x01000000

#define OCI_IND_NOTNULL  0
#define OCI_IND_NULL     (-1)

/* pieces of a value moved piecewise or through callbacks */
#define OCI_ONE_PIECE    0
#define OCI_FIRST_PIECE  1
#define OCI_NEXT_PIECE   2
#define OCI_LAST_PIECE   3

/* ---- handle and descriptor types -------------------------------------- */

#define OCI_HTYPE_ENV       1
#define OCI_HTYPE_ERROR     2
#define OCI_HTYPE_SVCCTX    3
#define OCI_HTYPE_STMT      4
#define OCI_HTYPE_BIND      5
#define OCI_HTYPE_DEFINE    6
#define OCI_HTYPE_DESCRIBE  7
#define OCI_HTYPE_SERVER    8
#define OCI_HTYPE_SESSION   9
#define OCI_HTYPE_TRANS     10
#define OCI_DTYPE_SNAP      51
#define OCI_DTYPE_PARAM     53

/* ---- attributes (meaning depends on the handle type) ------------------- */

#define OCI_ATTR_DATA_SIZE           1
#define OCI_ATTR_DATA_TYPE           2
#define OCI_ATTR_NAME                4
#define OCI_ATTR_PRECISION           5
#define OCI_ATTR_SCALE               6
#define OCI_ATTR_IS_NULL             7
#define OCI_ATTR_ENV                 5
#define OCI_ATTR_SERVER              6
#define OCI_ATTR_SESSION             7
#define OCI_ATTR_TRANS               8
#define OCI_ATTR_ROW_COUNT           9
#define OCI_ATTR_PREFETCH_ROWS       11
#define OCI_ATTR_PREFETCH_MEMORY     13
#define OCI_ATTR_PARAM_COUNT         18
#define OCI_ATTR_USERNAME            22
#define OCI_ATTR_PASSWORD            23
#define OCI_ATTR_STMT_TYPE           24
#define OCI_ATTR_CHARSET_ID          31
#define OCI_ATTR_CHARSET_FORM        32
#define OCI_ATTR_MAXDATA_SIZE        33
#define OCI_ATTR_PARSE_ERROR_OFFSET  129
#define OCI_ATTR_ROWS_FETCHED        197
#define OCI_ATTR_CHAR_USED           285
#define OCI_ATTR_CHAR_SIZE           286
#define OCI_ATTR_UB8_ROW_COUNT       457

#define OCI_UTF16ID             1000
#define OCI_ERROR_MAXMSG_SIZE   1024
#define OCI_ERROR_MAXMSG_SIZE2  3072
#define OCI_NLS_CHARSET_ID      93

/* ---- statement types --------------------------------------------------- */

#define OCI_STMT_UNKNOWN  0
#define OCI_STMT_SELECT   1
#define OCI_STMT_UPDATE   2
#define OCI_STMT_DELETE   3
#define OCI_STMT_INSERT   4
#define OCI_STMT_CREATE   5
#define OCI_STMT_DROP     6
#define OCI_STMT_ALTER    7
#define OCI_STMT_BEGIN    8
#define OCI_STMT_DECLARE  9
#define OCI_STMT_CALL     10
#define OCI_STMT_MERGE    16

/* ---- external data types ---------------------------------------------- */

#define SQLT_CHR            1
#define SQLT_NUM            2
#define SQLT_INT            3
#define SQLT_FLT            4
#define SQLT_STR            5
#define SQLT_VNU            6
#define SQLT_PDN            7
#define SQLT_LNG            8
#define SQLT_VCS            9
#define SQLT_NON            10
#define SQLT_RID            11
#define SQLT_DAT            12
#define SQLT_VBI            15
#define SQLT_BFLOAT         21
#define SQLT_BDOUBLE        22
#define SQLT_BIN            23
#define SQLT_LBI            24
#define SQLT_UIN            68
#define SQLT_SLS            91
#define SQLT_LVC            94
#define SQLT_LVB            95
#define SQLT_AFC            96
#define SQLT_AVC            97
#define SQLT_IBFLOAT        100
#define SQLT_IBDOUBLE       101
#define SQLT_CUR            102
#define SQLT_RDD            104
#define SQLT_NTY            108
#define SQLT_REF            110
#define SQLT_CLOB           112
#define SQLT_BLOB           113
#define SQLT_BFILEE         114
#define SQLT_CFILEE         115
#define SQLT_RSET           116
#define SQLT_ODT            156
#define SQLT_DATE           184
#define SQLT_TIMESTAMP      187
#define SQLT_TIMESTAMP_TZ   188
#define SQLT_INTERVAL_YM    189
#define SQLT_INTERVAL_DS    190
#define SQLT_TIMESTAMP_LTZ  232

/* ---- callbacks of dynamic binds and defines ---------------------------- */

typedef sb4 (*OCICallbackInBind)(void *ictxp, OCIBind *bindp, ub4 iter,
                                 ub4 index, void **bufpp, ub4 *alenp,
                                 ub1 *piecep, void **indp);
typedef sb4 (*OCICallbackOutBind)(void *octxp, OCIBind *bindp, ub4 iter,
                                  ub4 index, void **bufpp, ub4 **alenp,
                                  ub1 *piecep, void **indp, ub2 **rcodep);
typedef sb4 (*OCICallbackDefine)(void *octxp, OCIDefine *defnp, ub4 iter,
                                 void **bufpp, ub4 **alenp, ub1 *piecep,
                                 void **indp, ub2 **rcodep);

/* ---- prototypes --------------------------------------------------------- */

sword OCIInitialize(ub4 mode, void *ctxp,
                    void *(*malocfp)(void *ctxp, size_t size),
                    void *(*ralocfp)(void *ctxp, void *memptr, size_t newsize),
                    void (*mfreefp)(void *ctxp, void *memptr));
sword OCIEnvInit(OCIEnv **envp, ub4 mode, size_t xtramem_sz, void **usrmempp);
sword OCIHandleAlloc(const void *parenth, void **hndlpp, const ub4 type,
                     const size_t xtramem_sz, void **usrmempp);
sword OCIHandleFree(void *hndlp, const ub4 type);
sword OCILogon(OCIEnv *envhp, OCIError *errhp, OCISvcCtx **svchp,
               const OraText *username, ub4 uname_len,
               const OraText *password, ub4 passwd_len,
               const OraText *dbname, ub4 dbname_len);
sword OCILogoff(OCISvcCtx *svchp, OCIError *errhp);
sword OCITransStart(OCISvcCtx *svchp, OCIError *errhp, uword timeout, ub4 flags);
sword OCITransCommit(OCISvcCtx *svchp, OCIError *errhp, ub4 flags);
sword OCITransRollback(OCISvcCtx *svchp, OCIError *errhp, ub4 flags);
sword OCIStmtPrepare(OCIStmt *stmtp, OCIError *errhp, const OraText *stmt,
                     ub4 stmt_len, ub4 language, ub4 mode);
sword OCIStmtExecute(OCISvcCtx *svchp, OCIStmt *stmtp, OCIError *errhp,
                     ub4 iters, ub4 rowoff, const OCISnapshot *snap_in,
                     OCISnapshot *snap_out, ub4 mode);
sword OCIStmtFetch(OCIStmt *stmtp, OCIError *errhp, ub4 nrows,
                   ub2 orientation, ub4 mode);
sword OCIDefineByPos(OCIStmt *stmtp, OCIDefine **defnp, OCIError *errhp,
                     ub4 position, void *valuep, sb4 value_sz, ub2 dty,
                     void *indp, ub2 *rlenp, ub2 *rcodep, ub4 mode);
sword OCIBindByName(OCIStmt *stmtp, OCIBind **bindp, OCIError *errhp,
                    const OraText *placeholder, sb4 placeh_len,
                    void *valuep, sb4 value_sz, ub2 dty,
                    void *indp, ub2 *alenp, ub2 *rcodep,
                    ub4 maxarr_len, ub4 *curelep, ub4 mode);
sword OCIBindDynamic(OCIBind *bindp, OCIError *errhp, void *ictxp,
                     OCICallbackInBind icbfp, void *octxp,
                     OCICallbackOutBind ocbfp);
sword OCIDefineDynamic(OCIDefine *defnp, OCIError *errhp, void *octxp,
                       OCICallbackDefine ocbfp);
sword OCIParamGet(const void *hndlp, ub4 htype, OCIError *errhp,
                  void **parmdpp, ub4 pos);
sword OCIAttrGet(const void *trgthndlp, ub4 trghndltyp, void *attributep,
                 ub4 *sizep, ub4 attrtype, OCIError *errhp);
sword OCIAttrSet(void *trgthndlp, ub4 trghndltyp, void *attributep,
                 ub4 size, ub4 attrtype, OCIError *errhp);
sword OCIErrorGet(void *hndlp, ub4 recordno, OraText *sqlstate,
                  sb4 *errcodep, OraText *bufp, ub4 bufsiz, ub4 type);
sword OCIDescriptorFree(void *descp, const ub4 type);

#ifdef __cplusplus
}
#endif

#endif /* DRIFT_OCILITE_OCI_H */
