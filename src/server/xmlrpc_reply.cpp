// Checking an XML-RPC reply and reading its fault or its one value.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "foundation/ascii.h"
#include "foundation/decimal.h"
#include "foundation/log.h"
#include "foundation/util.h"
#include "server/xml_text.h"
#include "server/xmlrpc.h"
#include "server/xmlrpc_reply_match.h"

namespace {

// The returned value is logged only this far.
constexpr std::size_t LOGGED_VALUE_MAX = 4096;

void set_fault(XMLRPCClient* client, std::string_view text) {
  std::free(client->fault_string);
  client->fault_string = util_new_text(text.data(), text.size());
}

// An XML-RPC <int>: a decimal number with one optional sign and surrounding
// white space, saturated to 32 bits. False for anything else.
bool parse_number(std::string_view text, int* value) {
  return decimal_parse_whole(ascii_trim_space(text), value);
}

// The XML text with its entities decoded, as a new malloc'ed text.
char* decode_text(std::string_view text) {
  char* decoded = util_new_text(text.data(), text.size());
  if (decoded != nullptr) util_xml_decode_entities_utf8(decoded, nullptr);
  return decoded;
}

bool find(XmlrpcReplyShape shape, std::string_view lower, std::string_view body,
          std::string_view* capture) {
  std::size_t start = 0;
  std::size_t end = 0;
  if (!xmlrpc_reply_find(shape, lower, &start, &end)) return false;
  *capture = body.substr(start, end - start);
  return true;
}

// A reply's own position check: found, and not at the very first byte.
bool contains_after_start(std::string_view lower, std::string_view word) {
  const std::size_t pos = lower.find(word);
  return pos != std::string_view::npos && pos > 0;
}

int check_http(XMLRPCClient* client, const char* method, const HttpResponse& response) {
  const char* fault = nullptr;
  if (response.status_code != 200) {
    LOG_DEBUG("Status Code: %d", response.status_code);
    LOG_DEBUG("Invalid HTTP Code.  Returned a non 200 status code");
    fault = XMLRPC_FAULT_HTTP_STATUS;
  } else if (response.content_length < 1 || response.body == nullptr ||
             response.body_length == 0) {
    LOG_DEBUG("Invalid HTTP Body Length: %d", response.content_length);
    fault = XMLRPC_FAULT_HTTP_BODY;
  } else if (response.content_type == nullptr) {
    LOG_DEBUG("No content type");
    fault = XMLRPC_FAULT_CONTENT_TYPE;
  } else if (std::strcmp(response.content_type, "text/xml") != 0) {
    LOG_DEBUG("Invalid content-type: '%s'. Expected a content type of text/xml",
              response.content_type);
    fault = XMLRPC_FAULT_CONTENT_TYPE;
  }
  if (fault == nullptr) return 0;
  LOG_DEBUG("http request failed calling: %s", method);
  set_fault(client, fault);
  return -1;
}

void read_fault(XMLRPCClient* client, std::string_view lower, std::string_view body) {
  std::string_view text;
  char* decoded = nullptr;
  if (find(XmlrpcReplyShape::FaultString, lower, body, &text) &&
      (decoded = decode_text(text)) != nullptr) {
    set_fault(client, decoded);
    std::free(decoded);
  } else {
    LOG_DEBUG("fail to extract fault string value");
    set_fault(client, XMLRPC_FAULT_NO_FAULT_STRING);
  }
  std::string_view code_text;
  int code = 0;
  if (find(XmlrpcReplyShape::FaultCode, lower, body, &code_text) &&
      parse_number(code_text, &code)) {
    client->fault_code = code;
    LOG_DEBUG("fault code = %d", code);
  } else {
    LOG_DEBUG("Unable to extract fault code.");
  }
}

// The one value of a successful reply, by the first shape that holds it.
int read_value(std::string_view lower, std::string_view body, XMLRPCParameterList* result) {
  std::string_view text;
  int number = 0;
  if (find(XmlrpcReplyShape::String, lower, body, &text)) {
    char* decoded = decode_text(text);
    const int added = decoded != nullptr ? XMLRPCParameterListAddString(result, decoded) : -1;
    std::free(decoded);
    return added;
  }
  if (find(XmlrpcReplyShape::Int, lower, body, &text)) {
    return parse_number(text, &number) ? XMLRPCParameterListAddInt(result, number) : -1;
  }
  if (find(XmlrpcReplyShape::Boolean, lower, body, &text)) {
    return parse_number(text, &number) ? XMLRPCParameterListAddBoolean(result, number) : -1;
  }
  if (find(XmlrpcReplyShape::Untyped, lower, body, &text)) {
    const std::string value(text);
    return XMLRPCParameterListAddString(result, value.c_str());
  }
  return -1;
}

int parse_body(XMLRPCClient* client, const char* method, std::string_view body,
               XMLRPCParameterList** result) {
  std::string lower(body);
  for (char& c : lower) c = ascii_to_lower(c);
  if (contains_after_start(lower, "<fault>")) {
    read_fault(client, lower, body);
    return -1;
  }
  const bool has_response = contains_after_start(lower, "methodresponse");
  const bool has_params = contains_after_start(lower, "params");
  if (!has_response) LOG_DEBUG("missing methodReponse");
  if (!has_params) LOG_DEBUG("missing params");
  if (!has_response || !has_params) {
    LOG_DEBUG("unexpected response");
    set_fault(client, XMLRPC_FAULT_INVALID_DATA);
    return -1;
  }
  XMLRPCParameterList* values = XMLRPCParameterListNew();
  if (values == nullptr || read_value(lower, body, values) != 0) {
    XMLRPCParameterListFree(values);
    LOG_DEBUG("fail to extract return type and value");
    return -1;
  }
  if (values->first->type == XMLRPC_TYPE_STRING) {
    const std::string_view text(values->first->text);
    LOG_DEBUG("Call to %s returned: %.*s", method,
              static_cast<int>(utf8_cut_length(text, LOGGED_VALUE_MAX)), text.data());
  } else {
    LOG_DEBUG("Call to %s returned: %d", method, values->first->value);
  }
  *result = values;
  return 0;
}

}  // namespace

int XMLRPCParseResponse(XMLRPCClient* client, const char* method, const HttpResponse* response,
                        XMLRPCParameterList** result) {
  if (!TV_ASSERT(client != nullptr && response != nullptr && result != nullptr)) return -1;
  *result = nullptr;
  if (method == nullptr) method = "";
  if (check_http(client, method, *response) != 0) return -1;
  try {
    return parse_body(client, method, std::string_view(response->body, response->body_length),
                      result);
  } catch (const std::bad_alloc&) {
    LOG_DEBUG("fail to extract return type and value");
    return -1;
  }
}
