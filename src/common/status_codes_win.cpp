// The codes of status_codes.h must be the ones Windows returns: the program
// passes them on and compares them with what the system hands back.
#include "common/status_codes.h"

#include <windows.h>
#include <wbemcli.h>

namespace velmora {

static_assert(kHrOk == S_OK);
static_assert(kHrPointer == E_POINTER);
static_assert(kHrFail == E_FAIL);
static_assert(kHrUnexpected == E_UNEXPECTED);
static_assert(kHrClassNotRegistered == REGDB_E_CLASSNOTREG);
static_assert(kHrOutOfMemory == E_OUTOFMEMORY);
static_assert(kHrInvalidArg == E_INVALIDARG);
static_assert(kHrWbemFailed == static_cast<HRESULT>(WBEM_E_FAILED));
static_assert(kHrWbemNotFound == static_cast<HRESULT>(WBEM_E_NOT_FOUND));
static_assert(kHrWbemInvalidNamespace == static_cast<HRESULT>(WBEM_E_INVALID_NAMESPACE));

static_assert(kErrorSuccess == ERROR_SUCCESS);
static_assert(kErrorFileNotFound == ERROR_FILE_NOT_FOUND);
static_assert(kErrorAccessDenied == ERROR_ACCESS_DENIED);
static_assert(kErrorInvalidData == ERROR_INVALID_DATA);

}  // namespace velmora
