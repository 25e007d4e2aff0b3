// The request body of an XML-RPC call, written without white space between
// elements. Every text goes through xml_append_text so that the body is
// well-formed XML in UTF-8 whatever the caller's bytes.
#include <string>

#include "foundation/log.h"
#include "foundation/util.h"
#include "server/xml_text.h"
#include "server/xmlrpc.h"

namespace {

void append_value(std::string& body, const XMLRPCParameter& param) {
  const char* text = param.text != nullptr ? param.text : "";
  switch (param.type) {
    case XMLRPC_TYPE_BOOLEAN:
      body += "<value><boolean>" + std::to_string(param.value) + "</boolean></value>";
      break;
    case XMLRPC_TYPE_DATE:
      body += "<value><dateTime.iso8601>";
      xml_append_text(body, text);
      body += "</dateTime.iso8601></value>";
      break;
    case XMLRPC_TYPE_INT:
      body += "<value><int>" + std::to_string(param.value) + "</int></value>";
      break;
    case XMLRPC_TYPE_STRING:
      body += "<value><string>";
      xml_append_text(body, text);
      body += "</string></value>";
      break;
    default:
      LOG_DEBUG("unsupported XMLRPC type");
      break;
  }
}

}  // namespace

char* XMLRPCBuildRequestBody(const char* method, const XMLRPCParameterList* params) {
  try {
    std::string body = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><methodCall><methodName>";
    xml_append_text(body, method != nullptr ? method : "");
    body += "</methodName><params>";
    for (const XMLRPCParameter* node = params != nullptr ? params->first : nullptr;
         node != nullptr; node = node->next) {
      body += "<param>";
      append_value(body, *node);
      body += "</param>";
    }
    body += "</params></methodCall>";
    return util_new_text(body.data(), body.size());
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
