#!/usr/bin/env python3
"""Stand-in for the accounting application server, for tests and the demo.

A threaded XML-RPC server on Python's standard xmlrpc.server that answers every
method the print server calls, from a small JSON script that is read again on
every call, so a test can change the answers while the server runs.

Script (all keys optional):
  {
    "default": "PRINT",                       answer of any method not listed
    "methods": {
      "spoolwarden.processPrintJob6": {
        "answer": "PRINT",                    string, int, bool, or an answer object
        "by_document": {"secret.pdf": "CANCEL"},
        "sequence": ["HOLD1000", "PRINT"]     answers for the 1st, 2nd... call;
      },                                      the last one repeats
      "spoolwarden.registerPrinter3": {"answer": {"fault": [1000, "127.0.0.1:9192"]}}
    },
    "redirect": "127.0.0.1:9192"              every call answered with fault 1000
  }
An answer object is {"fault": [code, text]}, {"sleep": seconds, "answer": ...}
or {"value": ...}.

Events for drainEvents are JSON lines [type, value] appended to the events file;
each is handed out once. Every call is appended to the call log as a JSON line
{"time", "method", "params": [[type, value], ...]} before it is answered.
"""

import argparse
import json
import os
import socketserver
import sys
import threading
import time
import xmlrpc.client
from xmlrpc.server import SimpleXMLRPCRequestHandler, SimpleXMLRPCServer

DEFAULT_ANSWERS = {
    "log.logMessage": "SUCCESS",
    "spoolwarden.isServerReadyToRegisterPrinters": True,
    "spoolwarden.validateAndRegisterRedirectedJob": True,
    "spoolwarden.cancelPrintJob": True,
    "spoolwarden.reportPrinterStatus": 0,
    "spoolwarden.updateSpooledJobStatus": True,
    "spoolwarden.processPrintJobHardwareCheck": True,
    "spoolwarden.getPendingSpooledPrintJobs": "",
    "spoolwarden.getConfig": "",
    "spoolwarden.getConfigLastUpdatedTime": "",
    "spoolwarden.getPrinterConfigString": "N",
    "spoolwarden.getPrinterConfig": "",
    "spoolwarden.processPastPrintJob": "OK",
    "spoolwarden.notifyPdlCopyComplete": True,
}


def typed(value):
    """A parameter as [type, value] for the call log."""
    if isinstance(value, bool):
        return ["boolean", value]
    if isinstance(value, int):
        return ["int", value]
    if isinstance(value, xmlrpc.client.DateTime):
        return ["dateTime.iso8601", value.value]
    if isinstance(value, str):
        return ["string", value]
    return [type(value).__name__, repr(value)]


class Standin:
    def __init__(self, script_path, log_path, events_path):
        self.script_path = script_path
        self.log_path = log_path
        self.events_path = events_path
        self.lock = threading.Lock()
        self.counts = {}
        self.events_offset = 0

    def script(self):
        if not self.script_path or not os.path.exists(self.script_path):
            return {}
        with open(self.script_path, encoding="utf-8") as f:
            return json.load(f)

    def log_call(self, method, params):
        record = {"time": time.time(), "method": method,
                  "params": [typed(p) for p in params]}
        with self.lock, open(self.log_path, "a", encoding="utf-8") as f:
            f.write(json.dumps(record) + "\n")

    def take_events(self):
        if not self.events_path or not os.path.exists(self.events_path):
            return []
        with self.lock, open(self.events_path, encoding="utf-8") as f:
            f.seek(self.events_offset)
            lines = f.readlines()
            complete = [l for l in lines if l.endswith("\n")]
            self.events_offset += sum(len(l.encode("utf-8")) for l in complete)
        return [json.loads(l) for l in complete if l.strip()]

    def drain_events(self, params):
        wait_ms = params[1] if len(params) > 1 and isinstance(params[1], int) else 0
        cap = self.script().get("drain_wait_cap_ms", 2000)
        deadline = time.time() + min(wait_ms, cap) / 1000.0
        while True:
            events = self.take_events()
            if events or time.time() >= deadline:
                return ",".join('%s["%s"]' % (t, v) for t, v in events)
            time.sleep(0.05)

    def answer_for(self, method, params):
        script = self.script()
        if script.get("redirect"):
            return {"fault": [1000, script["redirect"]]}
        entry = script.get("methods", {}).get(method)
        if entry is None:
            if method == "spoolwarden.drainEvents":
                return {"value": self.drain_events(params)}
            if method in DEFAULT_ANSWERS:
                return DEFAULT_ANSWERS[method]
            return script.get("default", "PRINT")
        if not isinstance(entry, dict) or not ({"answer", "by_document", "sequence"} & entry.keys()):
            return entry
        with self.lock:
            n = self.counts.get(method, 0)
            self.counts[method] = n + 1
        if method.startswith("spoolwarden.processPrintJob") and len(params) > 6:
            by_doc = entry.get("by_document", {})
            if params[6] in by_doc:
                return by_doc[params[6]]
        if "sequence" in entry and entry["sequence"]:
            seq = entry["sequence"]
            return seq[min(n, len(seq) - 1)]
        return entry.get("answer", "")

    def dispatch(self, method, params):
        self.log_call(method, params)
        answer = self.answer_for(method, params)
        while isinstance(answer, dict):
            if "sleep" in answer:
                time.sleep(answer["sleep"])
            if "fault" in answer:
                code, text = answer["fault"]
                raise xmlrpc.client.Fault(code, text)
            if "value" in answer:
                answer = answer["value"]
            elif "answer" in answer:
                answer = answer["answer"]
            else:
                answer = ""
        return answer


class Handler(SimpleXMLRPCRequestHandler):
    rpc_paths = ("/rpc/providers/xmlrpc",)

    def handle(self):
        # From the connection accepted to the answer sent: what a benchmark
        # takes off a client's time to see the client's own cost.
        start = self.server.accepted.pop(self.request, None) or time.perf_counter()
        super().handle()
        path = getattr(self.server, "service_times", None)
        if path:
            with open(path, "a", encoding="utf-8") as f:
                f.write("%.3f\n" % ((time.perf_counter() - start) * 1000))

    def log_message(self, fmt, *args):  # keep the test output quiet
        pass


class ThreadedServer(socketserver.ThreadingMixIn, SimpleXMLRPCServer):
    daemon_threads = True
    allow_reuse_address = True
    service_times = None

    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.accepted = {}

    def process_request(self, request, client_address):
        # Before the thread that serves the request is started.
        self.accepted[request] = time.perf_counter()
        super().process_request(request, client_address)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=0, help="0 picks a free port")
    parser.add_argument("--port-file", help="write the port here once listening")
    parser.add_argument("--script", help="JSON answers, read on every call")
    parser.add_argument("--log", required=True, help="JSON lines of every call")
    parser.add_argument("--events", help="JSON lines [type, value] for drainEvents")
    parser.add_argument("--service-times",
                        help="a line per call: milliseconds from request to answer")
    args = parser.parse_args()

    standin = Standin(args.script, args.log, args.events)
    server = ThreadedServer(("127.0.0.1", args.port), requestHandler=Handler,
                            logRequests=False, allow_none=False)
    server.register_instance(type("Dispatcher", (), {
        "_dispatch": lambda self, method, params: standin.dispatch(method, params)})())
    server.service_times = args.service_times
    port = server.server_address[1]
    if args.port_file:
        tmp = args.port_file + ".tmp"
        with open(tmp, "w") as f:
            f.write("%d\n" % port)
        os.replace(tmp, args.port_file)
    print("listening on 127.0.0.1:%d" % port, flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
