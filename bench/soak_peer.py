#!/usr/bin/env python3
"""The scripted peer of bench/soak_bench.sh: a raw WebSocket client over TLS
(Python's websockets from the Debian package) that joins ROOM and, every
second, says a line there and sends a direct message to TARGET. It connects
again after any loss, and prints what it sent once a minute.

Usage: soak_peer.py CA_FILE NAME ROOM TARGET
"""
import asyncio
import json
import ssl
import sys
import time

import websockets

ca_file, name, room, target = sys.argv[1:5]


async def drain(connection):
    async for _ in connection:
        pass


async def session(context, counts):
    async with websockets.connect(f"wss://localhost:443/websocket?user={name}", ssl=context,
                                  max_size=None) as connection:
        reader = asyncio.ensure_future(drain(connection))
        await connection.send(json.dumps({"type": "join_room", "room": room}))
        try:
            while not reader.done():
                counts["sent"] += 1
                number = counts["sent"]
                await connection.send(json.dumps({"type": "message", "text": f"soak line {number}"}))
                await connection.send(json.dumps({"type": "dm", "to": target, "text": f"soak message {number}",
                                                  "request_id": f"soak-{number}"}))
                if time.monotonic() - counts["reported"] >= 60:
                    counts["reported"] = time.monotonic()
                    print(f"soak peer: {number} room lines and {number} direct messages sent, "
                          f"{counts['lost']} connections lost", flush=True)
                await asyncio.sleep(1)
        finally:
            reader.cancel()


async def main():
    context = ssl.create_default_context(cafile=ca_file)
    counts = {"sent": 0, "lost": 0, "reported": time.monotonic()}
    while True:
        try:
            await session(context, counts)
        except (OSError, websockets.WebSocketException) as error:
            print(f"soak peer: connection lost ({error}); again in 1 s", file=sys.stderr, flush=True)
        counts["lost"] += 1
        await asyncio.sleep(1)


if __name__ == "__main__":
    asyncio.run(main())
