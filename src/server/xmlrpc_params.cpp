// The XML-RPC client record and the typed parameter lists.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "foundation/log.h"
#include "foundation/util.h"
#include "server/xmlrpc.h"

namespace {

int append_node(XMLRPCParameterList* list, int type, const char* text, int value) {
  if (list == nullptr) return -1;
  auto* node = new (std::nothrow) XMLRPCParameter();
  if (node == nullptr) return -1;
  node->type = type;
  node->value = value;
  if (text != nullptr && (node->text = util_new_text(text, std::strlen(text))) == nullptr) {
    delete node;
    return -1;
  }
  if (list->last != nullptr) {
    list->last->next = node;
  } else {
    list->first = node;
  }
  list->last = node;
  ++list->count;
  return 0;
}

const XMLRPCParameter* node_at(const XMLRPCParameterList* list, int index) {
  if (list == nullptr || index < 0) return nullptr;
  const XMLRPCParameter* node = list->first;
  for (int i = 0; node != nullptr && i < index; ++i) node = node->next;
  return node;
}

}  // namespace

XMLRPCClient* XMLRPCClientNew(const char* host, int port, const char* path) {
  auto* client = new (std::nothrow) XMLRPCClient();
  if (client == nullptr) return nullptr;
  client->host = host;
  client->port = port;
  client->path = path;
  client->send_timeout = XMLRPC_DEFAULT_SEND_TIMEOUT_MS;
  client->connect_timeout = XMLRPC_DEFAULT_CONNECT_TIMEOUT_MS;
  return client;
}

void XMLRPCClientFree(XMLRPCClient* client) {
  if (client == nullptr) return;
  std::free(client->fault_string);
  delete client;
}

void XMLRPCClientSetSendTimeout(XMLRPCClient* client, int milliseconds) {
  if (client != nullptr) client->send_timeout = milliseconds;
}

void XMLRPCClientSetConnectTimeout(XMLRPCClient* client, int milliseconds) {
  if (client != nullptr) client->connect_timeout = milliseconds;
}

XMLRPCParameterList* XMLRPCParameterListNew() {
  return new (std::nothrow) XMLRPCParameterList();
}

void XMLRPCParameterListFree(XMLRPCParameterList* list) {
  if (list == nullptr) return;
  XMLRPCParameter* node = list->first;
  while (node != nullptr) {
    XMLRPCParameter* next = node->next;
    std::free(node->text);
    delete node;
    node = next;
  }
  delete list;
}

int XMLRPCParameterListAddString(XMLRPCParameterList* list, const char* text) {
  return append_node(list, XMLRPC_TYPE_STRING, text != nullptr ? text : "", 0);
}

int XMLRPCParameterListAddInt(XMLRPCParameterList* list, int value) {
  return append_node(list, XMLRPC_TYPE_INT, nullptr, value);
}

int XMLRPCParameterListAddBoolean(XMLRPCParameterList* list, int flag) {
  return append_node(list, XMLRPC_TYPE_BOOLEAN, nullptr, flag != 0 ? 1 : 0);
}

int XMLRPCParameterListAddDate(XMLRPCParameterList* list, const struct tm* local) {
  if (local == nullptr) return -1;
  char text[64];
  std::snprintf(text, sizeof text, "%04d%02d%02dT%02d:%02d:%02d", local->tm_year + 1900,
                local->tm_mon + 1, local->tm_mday, local->tm_hour, local->tm_min, local->tm_sec);
  return append_node(list, XMLRPC_TYPE_DATE, text, 0);
}

int XMLRPCParameterListGetType(const XMLRPCParameterList* list, int index) {
  const XMLRPCParameter* node = node_at(list, index);
  return node != nullptr ? node->type : XMLRPC_TYPE_NONE;
}

int XMLRPCParameterListReadInt(const XMLRPCParameterList* list, int index, int* out) {
  const XMLRPCParameter* node = node_at(list, index);
  if (node == nullptr || node->type != XMLRPC_TYPE_INT || out == nullptr) return -1;
  *out = node->value;
  return 0;
}

int XMLRPCParameterListReadString(const XMLRPCParameterList* list, int index, const char** out) {
  const XMLRPCParameter* node = node_at(list, index);
  if (node == nullptr || node->type != XMLRPC_TYPE_STRING || out == nullptr) return -1;
  *out = node->text;
  return 0;
}

int XMLRPCParameterListReadBoolean(const XMLRPCParameterList* list, int index, int* out) {
  const XMLRPCParameter* node = node_at(list, index);
  if (node == nullptr || node->type != XMLRPC_TYPE_BOOLEAN || out == nullptr) return -1;
  *out = node->value == 1 ? 1 : 0;
  return 0;
}

int XMLRPCGetFaultString(const XMLRPCClient* client, const char** out) {
  if (client == nullptr || client->fault_string == nullptr || out == nullptr) return -1;
  *out = client->fault_string;
  return 0;
}

int XMLRPCGetFaultCode(const XMLRPCClient* client, int* out) {
  if (client == nullptr || out == nullptr) return -1;
  *out = client->fault_code;
  return 0;
}
