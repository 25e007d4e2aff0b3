#include "server/rpc_internal.h"

#include "server/rpc_redirect.h"

namespace rpc_detail {

int call(const char* method, const Params& params, Params& result, int connect_retries) {
  XMLRPCParameterList* raw = nullptr;
  const int rc = rpc_call_method_wrapper(method, params.get(), &raw, connect_retries);
  result.reset(raw);
  return rc == 0 && result ? 0 : -1;
}

int reply_type(const Params& result) { return XMLRPCParameterListGetType(result.get(), 0); }

}  // namespace rpc_detail
