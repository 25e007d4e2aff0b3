// One XML-RPC call: log it, post the request, read the reply.
#include "server/xmlrpc.h"

#include <cstdlib>
#include <memory>
#include <string>

#include "foundation/config.h"
#include "foundation/log.h"
#include "foundation/util.h"
#include "server/xml_text.h"

namespace {

// The parameters as the DEBUG line shows them, cut at a character boundary.
std::string render_params(const XMLRPCParameterList* params) {
  std::string text;
  for (const XMLRPCParameter* node = params != nullptr ? params->first : nullptr;
       node != nullptr && text.size() < XMLRPC_LOG_PARAMS_MAX; node = node->next) {
    if (!text.empty()) text += ", ";
    const char* value = node->text != nullptr ? node->text : "";
    switch (node->type) {
      case XMLRPC_TYPE_BOOLEAN: text += node->value != 0 ? "true" : "false"; break;
      case XMLRPC_TYPE_DATE: text += value; break;
      case XMLRPC_TYPE_INT: text += std::to_string(node->value); break;
      case XMLRPC_TYPE_STRING: text += std::string("'") + value + "'"; break;
      default: text += "<unknown-type>"; break;
    }
  }
  text.resize(utf8_cut_length(text, XMLRPC_LOG_PARAMS_MAX));
  return text;
}

void set_empty_fault(XMLRPCClient* client) {
  std::free(client->fault_string);
  client->fault_string = static_cast<char*>(std::calloc(1, 1));
}

int call_method(XMLRPCClient* client, const char* method, const XMLRPCParameterList* params,
                XMLRPCParameterList** result, int retries) {
  if (global_ctx.debug_logging != 0) {
    LOG_DEBUG("Calling %s(%s) on server: %s:%d", method, render_params(params).c_str(),
              client->host != nullptr ? client->host : "", client->port);
  }
  const TextPtr body(XMLRPCBuildRequestBody(method, params));
  if (body == nullptr) {
    LOG_DEBUG("unable to allocate memory for the XMLRPC request");
    set_empty_fault(client);
    return -1;
  }
  const HttpRequest request{HTTP_METHOD_POST,        client->host, client->port, client->path,
                            "text/xml",              client->send_timeout,
                            client->connect_timeout, body.get()};
  HttpResponse* raw = nullptr;
  if (http_do_request_with_retry(&request, &raw, retries, &client->request_sent) != 0) {
    LOG_DEBUG("XMLRPC HTTP Post request failed");
    set_empty_fault(client);
    return -1;
  }
  HttpResponsePtr response(raw);
  return XMLRPCParseResponse(client, method, response.get(), result);
}

}  // namespace

int XMLRPCCallMethod(XMLRPCClient* client, const char* method, const XMLRPCParameterList* params,
                     XMLRPCParameterList** result, int retries) {
  if (!TV_ASSERT(client != nullptr && result != nullptr)) return -1;
  *result = nullptr;
  // A client may be used again: the fault and the sent flag describe this call.
  client->request_sent = 0;
  client->fault_code = 0;
  std::free(client->fault_string);
  client->fault_string = nullptr;
  if (method == nullptr) method = "";
  try {
    return call_method(client, method, params, result, retries);
  } catch (const std::bad_alloc&) {
    LOG_DEBUG("unable to allocate memory for the XMLRPC request");
    set_empty_fault(client);
    return -1;
  }
}
