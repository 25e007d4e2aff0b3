// The request bytes of the HTTP client.
#include <cstring>
#include <string>

#include "foundation/config.h"
#include "foundation/util.h"
#include "server/http.h"

namespace {

bool is_set(const char* text) { return text != nullptr && text[0] != '\0'; }

std::string request_text(const HttpRequest& request) {
  std::string text = request.method == HTTP_METHOD_GET ? "GET " : "POST ";
  text += request.path != nullptr ? request.path : "";
  text += " HTTP/1.0\r\n";
  const std::size_t body_length = is_set(request.body) ? std::strlen(request.body) : 0;
  if (body_length > 0) text += "Content-Length: " + std::to_string(body_length) + "\r\n";
  if (is_set(request.content_type)) {
    text += "Content-Type: ";
    text += request.content_type;
    text += "\r\n";
  }
  // The blank before the final line end is what the server has always seen.
  text += "User-Agent: TV-Spoolwarden full-ver: ";
  text += UTIL_PRODUCT_VERSION;
  text += " env-ver: " + std::to_string(global_ctx.env_version) + " \r\n\r\n";
  if (body_length > 0) text.append(request.body, body_length);
  return text;
}

}  // namespace

char* http_build_request(const HttpRequest* request, std::size_t* length) {
  if (!TV_ASSERT(request != nullptr && length != nullptr)) return nullptr;
  if (request->method != HTTP_METHOD_GET && request->method != HTTP_METHOD_POST) return nullptr;
  try {
    const std::string text = request_text(*request);
    char* copy = util_new_text(text.data(), text.size());
    if (copy != nullptr) *length = text.size();
    return copy;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
