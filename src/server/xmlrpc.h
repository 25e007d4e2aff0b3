// XML-RPC client: serialises one method call with typed parameters, posts it
// to the application server over HTTP and reads back either a fault (code
// and text) or the one result value. Results: 0 for success, -1 for failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>

#include "foundation/owned.h"
#include "server/http.h"

// Parameter and result types.
enum XMLRPCType : int {
  XMLRPC_TYPE_NONE = 0,         // what XMLRPCParameterListGetType gives for no node
  XMLRPC_TYPE_UNSUPPORTED = 1,  // sent as an empty param element
  XMLRPC_TYPE_BOOLEAN = 3,
  XMLRPC_TYPE_DATE = 4,         // dateTime.iso8601
  XMLRPC_TYPE_INT = 6,
  XMLRPC_TYPE_STRING = 7,
};

// Defaults of a new client, in milliseconds.
inline constexpr int XMLRPC_DEFAULT_SEND_TIMEOUT_MS = 120000;
inline constexpr int XMLRPC_DEFAULT_CONNECT_TIMEOUT_MS = 10000;
// Longest rendering of the parameters in the DEBUG line of a call.
inline constexpr std::size_t XMLRPC_LOG_PARAMS_MAX = 511;

// Fault texts of the failures the client finds itself.
inline constexpr const char XMLRPC_FAULT_HTTP_STATUS[] = "Unexpected HTTP status code";
inline constexpr const char XMLRPC_FAULT_HTTP_BODY[] = "Unexpected HTTP body";
inline constexpr const char XMLRPC_FAULT_CONTENT_TYPE[] = "Unexpected Content Type";
inline constexpr const char XMLRPC_FAULT_NO_FAULT_STRING[] = "Unable to extract extract fault string";
inline constexpr const char XMLRPC_FAULT_INVALID_DATA[] = "Invalid XMLRPC data returned from server.";

// One call's client. Host and path are not copied: the caller keeps them
// alive for the call. After a failed call the caller reads the fault before
// freeing the client: an empty fault text is a transport failure, one of the
// fixed texts above a protocol failure, anything else the server's own fault.
struct XMLRPCClient {
  const char* host;
  int port;
  const char* path;
  int fault_code;       // non-zero only for a server fault that carries one
  char* fault_string;   // owned; null until a call fails
  int send_timeout;     // ms; also bounds every read of the reply
  int connect_timeout;  // ms
  // 1 once the last call's whole request was written to the server. A failed
  // call may be repeated only while this is 0 (the server never saw it).
  int request_sent;
};

// One parameter or result value.
struct XMLRPCParameter {
  int type;      // XMLRPCType
  char* text;    // owned; strings and dates
  int value;     // int; boolean as 0 or 1
  XMLRPCParameter* next;
};

// Parameters in the order they were added.
struct XMLRPCParameterList {
  XMLRPCParameter* first;
  XMLRPCParameter* last;
  int count;
};

// New client with fault code 0, no fault text and the default time-outs;
// null when memory runs out.
[[nodiscard]] XMLRPCClient* XMLRPCClientNew(const char* host, int port, const char* path);
// Frees the fault text and the record; null is ignored.
void XMLRPCClientFree(XMLRPCClient* client);
using XMLRPCClientPtr = Owned<XMLRPCClient, XMLRPCClientFree>;
// Set the time-outs in milliseconds; no effect on null.
void XMLRPCClientSetSendTimeout(XMLRPCClient* client, int milliseconds);
void XMLRPCClientSetConnectTimeout(XMLRPCClient* client, int milliseconds);

// New empty list; null when memory runs out.
[[nodiscard]] XMLRPCParameterList* XMLRPCParameterListNew();
// Frees every node and its text; null is ignored.
void XMLRPCParameterListFree(XMLRPCParameterList* list);
using XMLRPCParameterListPtr = Owned<XMLRPCParameterList, XMLRPCParameterListFree>;
// Append a copy of the text (null: the empty text) / an int / a boolean
// stored as 1 for any non-zero flag / a local time as
// "%04d%02d%02dT%02d:%02d:%02d". 0, or -1 for no list or no memory.
[[nodiscard]] int XMLRPCParameterListAddString(XMLRPCParameterList* list, const char* text);
[[nodiscard]] int XMLRPCParameterListAddInt(XMLRPCParameterList* list, int value);
[[nodiscard]] int XMLRPCParameterListAddBoolean(XMLRPCParameterList* list, int flag);
[[nodiscard]] int XMLRPCParameterListAddDate(XMLRPCParameterList* list, const struct tm* local);
// Type code of the node at index; XMLRPC_TYPE_NONE for no list or an index
// out of range.
[[nodiscard]] int XMLRPCParameterListGetType(const XMLRPCParameterList* list, int index);
// The value at index: 0, or -1 when the index is out of range or the node
// has another type. The string is not copied; a boolean reads 1 only when
// the stored integer is 1.
[[nodiscard]] int XMLRPCParameterListReadInt(const XMLRPCParameterList* list, int index, int* out);
[[nodiscard]] int XMLRPCParameterListReadString(const XMLRPCParameterList* list, int index,
                                                const char** out);
[[nodiscard]] int XMLRPCParameterListReadBoolean(const XMLRPCParameterList* list, int index,
                                                 int* out);

// The fault text (not copied): 0, or -1 when there is none or no client.
[[nodiscard]] int XMLRPCGetFaultString(const XMLRPCClient* client, const char** out);
// The fault code: 0, or -1 without a client.
[[nodiscard]] int XMLRPCGetFaultCode(const XMLRPCClient* client, int* out);

// Calls `method` with the parameters (null: none), making up to
// max(1, retries + 1) connection attempts. 0 with *result a new list of
// exactly one value (the caller frees it), or -1 with *result null and the
// client's fault code and text set. client->request_sent tells whether the
// request reached the server.
[[nodiscard]] int XMLRPCCallMethod(XMLRPCClient* client, const char* method,
                                   const XMLRPCParameterList* params, XMLRPCParameterList** result,
                                   int retries);

// The pieces of a call, usable without a socket.

// The request body of a call as a new malloc'ed text (null: no memory).
// Every text is made well-formed XML 1.0 in UTF-8 first (see xml_text.h).
[[nodiscard]] char* XMLRPCBuildRequestBody(const char* method, const XMLRPCParameterList* params);
// Checks a reply and reads its fault or value as XMLRPCCallMethod does after
// the transport: 0 with *result set, or -1 with the client's fault set.
[[nodiscard]] int XMLRPCParseResponse(XMLRPCClient* client, const char* method,
                                      const HttpResponse* response, XMLRPCParameterList** result);
