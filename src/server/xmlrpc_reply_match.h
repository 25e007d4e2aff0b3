// Finding the fault and result values in an XML-RPC reply body. The shapes
// are those of these regular expressions (caseless; \s* is XML white space):
//   String      <param>\s*<value>\s*<string>(.*?)</string>\s*</value>\s*</param>   dot crosses lines
//   Int         <param>\s*<value>\s*<(int|i4)>(.+?)</(int|i4)>\s*</value>\s*</param>
//   Boolean     <param>\s*<value>\s*<boolean>(.+?)</boolean>\s*</value>\s*</param>
//   Untyped     <param>\s*<value>(.*?)</value>\s*</param>                          dot crosses lines
//   FaultString <name>faultString</name>\s*<value>\s*(<string>)?(.*?)(</string>)?\s*</value>
//   FaultCode   <name>faultCode</name>\s*<value>\s*(<int>|<i4>)?(.*?)(</int>|</i4>)?\s*</value>
// with the leftmost, shortest capture a backtracking engine gives. It is
// matched here in linear time instead: a regular-expression engine's match
// limit stops a lazy capture after about a million bytes, and a long answer
// (queued events) must not be lost to that.
#pragma once

#include <cstddef>
#include <string_view>

enum class XmlrpcReplyShape { String, Int, Boolean, Untyped, FaultString, FaultCode };

// Finds the shape in `lower_body` (the body with ASCII letters lower-cased).
// True with the capture's byte offsets [*start, *end).
[[nodiscard]] bool xmlrpc_reply_find(XmlrpcReplyShape shape, std::string_view lower_body,
                                     std::size_t* start, std::size_t* end);
