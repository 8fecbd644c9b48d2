#!/usr/bin/python3
"""Peers for the screenshot gallery's right-to-left pictures: real members of
the local community (WebSocket over TLS, Python's websockets from the Debian
package). Each NAME=LINE says LINE in ROOM, in the order given (each line
waits until the server has echoed it, so the transcript has them in order);
a name may say several lines, and NAME= only comes online (a room holds
eight members, so only those who talk join it). Prints "ready" once every
line is echoed, then keeps the peers online until it is ended.

Usage: gallery_peers.py CA_FILE ROOM NAME=LINE...
"""
import asyncio
import json
import ssl
import sys
import urllib.parse

import websockets


async def wait_for(connection, **fields):
    async for raw in connection:
        message = json.loads(raw)
        if all(message.get(key) == value for key, value in fields.items()):
            return


async def drain(connection):
    async for _ in connection:
        pass


async def main():
    ca_file, room = sys.argv[1:3]
    lines = [argument.partition("=")[::2] for argument in sys.argv[3:]]
    context = ssl.create_default_context(cafile=ca_file)
    connections = {}
    for name, _ in lines:
        if name in connections:
            continue
        address = "wss://localhost:443/websocket?user=" + urllib.parse.quote(name, safe="")
        connection = await websockets.connect(address, ssl=context, max_size=None)
        if any(line for who, line in lines if who == name):
            await connection.send(json.dumps({"type": "join_room", "room": room}))
            await asyncio.wait_for(wait_for(connection, type="room_joined"), 60)
        connections[name] = connection
    for name, line in lines:
        if line:
            await connections[name].send(json.dumps({"type": "message", "text": line}))
            await asyncio.wait_for(wait_for(connections[name], type="message", username=name, text=line), 60)
    print("ready", flush=True)
    # Read on, so that the library keeps answering the server's pings.
    await asyncio.gather(*(drain(connection) for connection in connections.values()))


if __name__ == "__main__":
    asyncio.run(main())
