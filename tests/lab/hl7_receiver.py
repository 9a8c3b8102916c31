#!/usr/bin/env python3
"""A lab system for the tests: python3-hl7's MLLP server, parsing each message with python-hl7's
own parser, logging what it read as one JSON line per message, and answering as told."""
import argparse
import asyncio
import json
import ssl
import sys

import hl7
from hl7.mllp import start_hl7_server

parser = argparse.ArgumentParser()
parser.add_argument("--answer", default="AA", help="AA, AE, AR, CA, silent (read, never answer) or close")
parser.add_argument("--log", required=True)
parser.add_argument("--port", type=int, default=0)
parser.add_argument("--cert")
parser.add_argument("--key")
args = parser.parse_args()


def text(message, path):
    try:
        return str(message[path])
    except Exception:
        return ""


async def handle(reader, writer):
    try:
        while not writer.is_closing():
            message = await reader.readmessage()
            entry = {
                "control": text(message, "MSH.F10"),
                "type": str(message.segment("MSH")[9]),
                "version": text(message, "MSH.F12"),
                "charset": text(message, "MSH.F18"),
                "pid": text(message, "PID.F3.R1.C1"),
                "authority": text(message, "PID.F3.R1.C4"),
                "status": text(message, "OBR.F25"),
                "obx": [[str(s[2]), str(s[5]), str(s[11])] for s in message.segments("OBX")],
                "segments": [str(s[0]) for s in message],
            }
            with open(args.log, "a", encoding="utf-8") as log:
                log.write(json.dumps(entry) + "\n")
            if args.answer == "silent":
                continue
            if args.answer == "close":
                writer.close()
                return
            writer.writemessage(message.create_ack(args.answer))
            await writer.drain()
    except (asyncio.IncompleteReadError, ConnectionError):
        pass


async def main():
    context = None
    if args.cert:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)
    server = await start_hl7_server(handle, "127.0.0.1", args.port, ssl=context)
    print(server.sockets[0].getsockname()[1], flush=True)
    async with server:
        await server.serve_forever()


asyncio.run(main())
