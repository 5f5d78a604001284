#!/usr/bin/python3
"""An SMTP server for the hub's tests, on 127.0.0.1 and a free port.

Prints {"port": N} once it listens, then one JSON line per message taken:
{"from": envelope sender, "to": [envelope recipients], "data": base64 of the
message as received}. Ends when its standard input closes.
"""
import asyncio
import base64
import json
import socket
import sys

from aiosmtpd.smtp import SMTP


class Keep:
    async def handle_DATA(self, server, session, envelope):
        print(json.dumps({"from": envelope.mail_from, "to": envelope.rcpt_tos,
                          "data": base64.b64encode(envelope.original_content).decode()}), flush=True)
        return "250 Message accepted"


async def main():
    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    sock.bind(("127.0.0.1", 0))
    sock.listen()
    loop = asyncio.get_running_loop()
    # A fixed host name: the default would look the machine's name up.
    server = await loop.create_server(lambda: SMTP(Keep(), hostname="sink.test", decode_data=False), sock=sock)
    print(json.dumps({"port": sock.getsockname()[1]}), flush=True)
    await loop.run_in_executor(None, sys.stdin.read)
    server.close()


asyncio.run(main())
