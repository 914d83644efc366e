#!/usr/bin/env python3
"""A local back end for the demo: everything one install needs, on loopback.

  https://localhost:<base>/version.json        server configuration (certificate of the demo CA)
  http://localhost:<base + 1>/version.json     the same, as the fallback endpoint
  http://localhost:<base + 1>/api/setting      package settings, naming a link service, with
                                               the package's signature
  http://localhost:<base + 1>/links/json/parser?url=...   the link service's answer
  http://localhost:<base + 1>/files/VexaBox-demo.zip      the package, sent at a visible pace

Usage: demo_backend.py --state-dir DIR --port-base N --package ZIP --package-key PRIVATE_PEM
The state directory receives the demo CA (ca.der is the one to trust) and "ready".
"""

import argparse
import json
import os
import subprocess
import sys
import threading

import test_server


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--state-dir", required=True)
    parser.add_argument("--port-base", type=int, required=True)
    parser.add_argument("--package", required=True)
    parser.add_argument("--package-key", required=True)
    args = parser.parse_args()

    os.makedirs(args.state_dir, exist_ok=True)
    trusted, _ = test_server.ensure_certificates(args.state_dir)
    http = "http://localhost:%d" % (args.port_base + 1)
    package_url = http + "/files/VexaBox-demo.zip"

    def answer(path, document):
        test_server.STATE.set_route(path, [{"body": json.dumps(document)}])

    answer("/version.json", {"api_base_url": http + "/api"})
    sign = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts", "sign-package")
    signature = subprocess.run([sign, args.package_key, args.package], check=True,
                               capture_output=True, text=True).stdout.strip()
    answer("/api/setting", {"app_package_url": "https://downloads.example/VexaBox-demo.zip",
                            "download_api_base_url": http + "/links/",
                            "app_package_signature": signature})
    answer("/links/json/parser", {"code": 0, "data": {"directLink": package_url}})
    # About ten seconds for the package, so that the bar, the sizes and the time left can be
    # watched.
    size = os.path.getsize(args.package)
    test_server.STATE.set_route("/files/VexaBox-demo.zip", [{
        "body_file": os.path.abspath(args.package),
        "chunk_delay_ms": max(1, 10000 * 1024 // max(size, 1))}])

    try:
        servers = [test_server.Server(args.port_base, "https", test_server.tls_context(trusted)),
                   test_server.Server(args.port_base + 1, "http")]
    except OSError as error:
        sys.exit("The demo back end cannot listen on ports %d and %d: %s"
                 % (args.port_base, args.port_base + 1, error.strerror))
    for server in servers:
        threading.Thread(target=server.serve_forever, daemon=True).start()
    with open(os.path.join(args.state_dir, "ready"), "w") as f:
        f.write("%d\n" % os.getpid())
    threading.Event().wait()


if __name__ == "__main__":
    main()
