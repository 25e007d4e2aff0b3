// Which application server the calls go to, and the call wrapper that
// follows a server's hand-over to another server (a redirect), drops it again
// after the configured check period and falls back to the configured server
// when the redirect target fails.
#pragma once

#include <cstddef>

struct XMLRPCParameterList;

// Every call goes to this path of the current server.
inline constexpr const char rpc_url_path[] = "/rpc/providers/xmlrpc";
// Fault code with which a server hands this print server over to another one;
// its fault text is "host:port".
inline constexpr int RPC_FAULT_CODE_REDIRECT = 1000;
// Longest redirect text accepted ("host:port").
inline constexpr std::size_t REDIRECT_TEXT_MAX = 1024;

// The redirect host and port while a redirect is active, else
// ApplicationServer and ApplicationServerPort. The host is copied into
// `buffer` (cut to size - 1 and terminated); `port` may be null.
void global_get_server_address(char* buffer, std::size_t size, int* port);

// Starts a redirect to "host:port". 1 when it started; 0 when a redirect is
// already active (nothing logged) or the text is refused (logged): shorter
// than 4 or longer than 1024 characters, first colon before index 3 or last,
// or a port outside 1 to 65535.
[[nodiscard]] int global_use_redirect_server(const char* text);

// Ends an active redirect. 1 when one was ended, 0 when none was active.
int global_cancel_redirect_server();

// Ends an active redirect that began more than RedirectCheckPeriodSecs ago.
// 1 when one was ended.
int global_cancel_redirect_server_if_check_due();

// 1 for a method that only reads from the server (printer settings, the
// configuration, readiness, pending jobs); 0 for one that records something
// (processPrintJob and the like, cancellations, registrations, events) and
// for any method not known to be read-only.
[[nodiscard]] int rpc_method_is_read_only(const char* method);

// Calls `method` on the current server with the given connect retries and
// time-outs (milliseconds). Follows one redirect (fault 1000) and, when a
// call to a redirect target fails, ends the redirect and repeats the call
// once on the configured server: a read-only method always, a recording one
// only when its request never reached the target (it may have recorded it).
// Never more than two attempts. 0 with `result` set (caller frees it), or -1.
[[nodiscard]] int rpc_call_method_wrapper2(const char* method, XMLRPCParameterList* params,
                                           XMLRPCParameterList** result, int connect_retries,
                                           int connect_timeout_ms, int send_timeout_ms);

// The same with ConnectTimeout and NetworkTimeout.
[[nodiscard]] int rpc_call_method_wrapper(const char* method, XMLRPCParameterList* params,
                                          XMLRPCParameterList** result, int connect_retries);
