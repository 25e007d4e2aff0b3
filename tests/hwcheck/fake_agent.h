// An SNMP agent in memory, for the tests that need what no simulator
// serves on cue: a printer whose state changes from poll to poll, answers
// that repeat for ever, time-outs on demand, and a clock that only moves
// when the code sleeps. Objects are kept in identifier order; GET, GETNEXT
// and GETBULK (answered as GETNEXT) are served, with v2c's exceptions or
// v1's noSuchName for missing objects.
#pragma once

#include "hwcheck/snmp_netsnmp.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "hwcheck/snmp_session.h"

namespace sw_test {

using Oid = std::vector<SnmpSubId>;

inline Oid oid_of(const std::string& dotted) {
  SnmpOid parsed{};
  if (!snmp_parse_oid_text(dotted, &parsed)) return {};
  return Oid(parsed.ids, parsed.ids + parsed.length);
}

struct Value {
  u_char type = ASN_INTEGER;
  long number = 0;
  std::string bytes;  // OCTET STRING
  Oid object;         // OBJECT IDENTIFIER
};

inline Value integer(long v) { return Value{ASN_INTEGER, v, {}, {}}; }
inline Value counter(long v) { return Value{ASN_COUNTER, v, {}, {}}; }
inline Value gauge(long v) { return Value{ASN_GAUGE, v, {}, {}}; }
inline Value octets(std::string s) { return Value{ASN_OCTET_STR, 0, std::move(s), {}}; }
inline Value object_id(const std::string& dotted) { return Value{ASN_OBJECT_ID, 0, {}, oid_of(dotted)}; }

class FakeAgent {
 public:
  // The printer's objects; tests change them between requests.
  std::map<Oid, Value> objects;
  // Called before each request is answered (a printer that moves on).
  std::function<void(FakeAgent&, int request)> on_request;
  bool timeout = false;         // answer nothing
  bool repeat_next = false;     // GETNEXT answers the identifier it was asked
  int version = 2;
  int requests = 0;
  std::int64_t now_millis = 1700000000000;  // the clock; sleeping moves it
  std::int64_t slept_millis = 0;
  std::int64_t millis_per_request = 0;

  void set(const std::string& dotted, Value v) { objects[oid_of(dotted)] = std::move(v); }
  void erase(const std::string& dotted) { objects.erase(oid_of(dotted)); }

  SnmpSession* open() {
    return snmp_create_exchange_session(version, exchange, this, SnmpClock{now, sleep, this});
  }

 private:
  static std::int64_t now(void* self) { return static_cast<FakeAgent*>(self)->now_millis; }
  static void sleep(void* self, std::int64_t millis) {
    auto* a = static_cast<FakeAgent*>(self);
    a->now_millis += millis;
    a->slept_millis += millis;
  }

  static void add(netsnmp_pdu* pdu, const Oid& name, const Value* v, u_char exception) {
    if (v == nullptr) {
      snmp_pdu_add_variable(pdu, name.data(), name.size(), exception, nullptr, 0);
    } else if (v->type == ASN_OCTET_STR) {
      snmp_pdu_add_variable(pdu, name.data(), name.size(), v->type, v->bytes.data(),
                            v->bytes.size());
    } else if (v->type == ASN_OBJECT_ID) {
      snmp_pdu_add_variable(pdu, name.data(), name.size(), v->type, v->object.data(),
                            v->object.size() * sizeof(oid));
    } else {
      snmp_pdu_add_variable(pdu, name.data(), name.size(), v->type, &v->number, sizeof(long));
    }
  }

  // The answer to one variable of a request; false for v1's noSuchName.
  bool answer(int command, const Oid& asked, netsnmp_pdu* response) {
    if (command == SNMP_MSG_GET) {
      auto it = objects.find(asked);
      if (it == objects.end() && version == 1) return false;
      add(response, asked, it == objects.end() ? nullptr : &it->second, SNMP_NOSUCHINSTANCE);
      return true;
    }
    if (repeat_next) {
      static const Value ONE = integer(1);
      add(response, asked, &ONE, 0);
      return true;
    }
    auto it = objects.upper_bound(asked);
    if (it == objects.end() && version == 1) return false;
    add(response, it == objects.end() ? asked : it->first,
        it == objects.end() ? nullptr : &it->second, SNMP_ENDOFMIBVIEW);
    return true;
  }

  // A new answer has no error status (snmp_pdu_create leaves "not set").
  static netsnmp_pdu* new_response() {
    netsnmp_pdu* pdu = snmp_pdu_create(SNMP_MSG_RESPONSE);
    pdu->errstat = SNMP_ERR_NOERROR;
    pdu->errindex = 0;
    return pdu;
  }

  static int exchange(void* self, snmp_pdu* request, snmp_pdu** response) {
    auto* a = static_cast<FakeAgent*>(self);
    const int command = request->command == SNMP_MSG_GETBULK ? SNMP_MSG_GETNEXT : request->command;
    std::vector<Oid> asked;
    for (auto* v = request->variables; v != nullptr; v = v->next_variable) {
      asked.emplace_back(v->name, v->name + v->name_length);
    }
    snmp_free_pdu(request);
    if (a->on_request) a->on_request(*a, a->requests);
    ++a->requests;
    a->now_millis += a->millis_per_request;
    if (a->timeout) return SNMP_EXCHANGE_TIMEOUT;
    netsnmp_pdu* pdu = new_response();
    for (std::size_t i = 0; i < asked.size(); ++i) {
      if (!a->answer(command, asked[i], pdu)) {
        // v1: the whole request fails; the answer echoes the request.
        snmp_free_pdu(pdu);
        pdu = new_response();
        for (const Oid& o : asked) add(pdu, o, nullptr, ASN_NULL);
        pdu->errstat = SNMP_ERR_NOSUCHNAME;
        pdu->errindex = static_cast<long>(i + 1);
        break;
      }
    }
    *response = pdu;
    return SNMP_EXCHANGE_OK;
  }
};

}  // namespace sw_test
