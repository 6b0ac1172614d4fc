#!/usr/bin/env python3
"""A throwaway RFC 3161 time-stamping server for the release test.

Usage: timestamp_server.py FOLDER
FOLDER holds tsa.pem and tsa-key.pem (a certificate for time stamping and its
key). The server listens on a free port of 127.0.0.1, writes that port to
FOLDER/port, and answers every POST with `openssl ts -reply` over the request,
as a public time-stamping authority would.
"""

import http.server
import subprocess
import sys
from pathlib import Path

FOLDER = Path(sys.argv[1])
CONFIG = """[ tsa ]
default_tsa = tsa_config
[ tsa_config ]
serial = {folder}/serial
signer_cert = {folder}/tsa.pem
signer_key = {folder}/tsa-key.pem
signer_digest = sha256
default_policy = 1.3.6.1.4.1.4146.2.3
digests = sha256, sha384, sha512
ess_cert_id_alg = sha256
"""


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = FOLDER / "query.tsq"
        query.write_bytes(self.rfile.read(int(self.headers["Content-Length"])))
        reply = subprocess.run(["openssl", "ts", "-reply", "-config", str(FOLDER / "tsa.cnf"),
                                "-queryfile", str(query)], capture_output=True, check=False)
        self.send_response(200 if reply.returncode == 0 else 500)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply.stdout)))
        self.end_headers()
        self.wfile.write(reply.stdout)

    def log_message(self, *_):
        pass


def main():
    (FOLDER / "tsa.cnf").write_text(CONFIG.format(folder=FOLDER))
    (FOLDER / "serial").write_text("01\n")
    server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
    (FOLDER / "port").write_text(str(server.server_address[1]))
    server.serve_forever()


if __name__ == "__main__":
    main()
