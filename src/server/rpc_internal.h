// Helpers shared by the server-call units; not part of the public interface.
#pragma once

#include <cstdint>
#include <memory>

#include "server/xmlrpc.h"

struct JobAttribs;

namespace rpc_detail {

// Type codes of XML-RPC values.
inline constexpr int TYPE_BOOLEAN = XMLRPC_TYPE_BOOLEAN;
inline constexpr int TYPE_INT = XMLRPC_TYPE_INT;
inline constexpr int TYPE_STRING = XMLRPC_TYPE_STRING;

using Params = XMLRPCParameterListPtr;

// A new empty list (null when memory runs out).
inline Params new_params() { return Params(XMLRPCParameterListNew()); }

// Calls `method` through rpc_call_method_wrapper; `result` owns the reply.
[[nodiscard]] int call(const char* method, const Params& params, Params& result,
                       int connect_retries);

// The type code of the reply's one value (0 when there is none).
[[nodiscard]] int reply_type(const Params& result);

// Appends the first `count` (16 to 25) decision parameters of the job.
[[nodiscard]] int add_job_params(XMLRPCParameterList* list, const JobAttribs* ja, int count,
                                 int analysis_code);

// Saturates a 64-bit number into 32 bits.
[[nodiscard]] inline int saturate_int(std::int64_t value) {
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int>(value);
}

}  // namespace rpc_detail
