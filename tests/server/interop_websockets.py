#!/usr/bin/env python3
"""Interoperability check of velmor-server with an independent WebSocket client.

Python's `websockets` (Debian package python3-websockets) connects over TLS,
verifying the server against the development authority and the name
localhost, then: the bare ping answered by the bare pong, a protocol-level
ping answered by a pong frame, a room created, joined and chatted in, and a
direct message delivered and acknowledged. Exits non-zero with the reason on
any failure; registered with CTest in the native build.

Usage: interop_websockets.py SERVER_PROGRAM CERTS_DIR
"""
import asyncio
import json
import signal
import socket
import ssl
import subprocess
import sys
import urllib.request

try:
    import websockets
except ImportError:
    sys.exit("FAILED: python3-websockets is not installed for " + sys.executable + " (run scripts/setup)")

TIMEOUT = 10


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def check(condition, what):
    if not condition:
        raise AssertionError(what)


async def receive_type(connection, wanted):
    """The next JSON message of type `wanted`, skipping others."""
    while True:
        text = await asyncio.wait_for(connection.recv(), TIMEOUT)
        if text in ("pong", "ping"):
            continue
        message = json.loads(text)
        if message.get("type") == wanted:
            return message


async def exercise(port, control_port, certs):
    tls = ssl.create_default_context(cafile=certs + "/ca.crt")
    base = f"wss://localhost:{port}/websocket?user="
    async with websockets.connect(base + "Zo%C3%AB%20K", ssl=tls, open_timeout=TIMEOUT) as zoe:
        snapshot = await receive_type(zoe, "connected")
        check("moderation_v2" in snapshot["capabilities"], "the snapshot announces moderation_v2")
        async with websockets.connect(base + "bob", ssl=tls, open_timeout=TIMEOUT) as bob:
            await exercise_pair(zoe, bob)

    record = urllib.request.urlopen(f"http://127.0.0.1:{control_port}/requests", timeout=TIMEOUT).read().decode()
    lines = [json.loads(line) for line in record.splitlines()]
    check({"user": "bob", "type": "dm", "text": json.dumps({"type": "dm", "to": "Zoë K", "text": "psst", "request_id": "dm-1"})}
          in lines, "the request record holds the direct message")
    print("record: every request is on record")


async def exercise_pair(zoe, bob):
    check((await receive_type(bob, "connected"))["users"] == ["Zoë K", "bob"], "bob's snapshot lists both users")
    print("connected: both snapshots received")

    await zoe.send("ping")
    reply = await asyncio.wait_for(zoe.recv(), TIMEOUT)
    while reply != "pong":  # bob's arrival may come first
        check(json.loads(reply)["type"] == "presence_delta", "only presence news before the pong: " + reply)
        reply = await asyncio.wait_for(zoe.recv(), TIMEOUT)
    print("ping: the bare ping is answered by the bare pong")
    await asyncio.wait_for(await bob.ping(b"frame"), TIMEOUT)
    print("ping: a ping frame is answered by a pong frame")

    await zoe.send(json.dumps({"type": "create_room", "room_name": "Interop", "game": "Stronghold Crusader"}))
    await zoe.send(json.dumps({"type": "join_room", "room": "Interop"}))
    joined = await receive_type(zoe, "room_joined")
    check(joined["host"] == "Zoë K" and joined["users"] == ["Zoë K"], "the creator hosts the room: " + str(joined))
    await bob.send(json.dumps({"type": "join_room", "room": "Interop"}))
    check((await receive_type(bob, "room_joined"))["users"] == ["Zoë K", "bob"], "bob joins the room")
    print("rooms: created, hosted and joined")

    await bob.send(json.dumps({"type": "message", "text": "hello from python"}))
    for connection in (zoe, bob):
        line = await receive_type(connection, "message")
        check(line["username"] == "bob" and line["text"] == "hello from python", "room chat: " + str(line))
    print("chat: the line reaches the whole room, sender included")

    await bob.send(json.dumps({"type": "dm", "to": "Zoë K", "text": "psst", "request_id": "dm-1"}))
    dm = await receive_type(zoe, "dm")
    check(dm["from"] == "bob" and dm["text"] == "psst", "direct message: " + str(dm))
    ack = await receive_type(bob, "dm_sent")
    check(ack == {"type": "dm_sent", "to": "Zoë K", "text": "psst", "request_id": "dm-1"}, "acknowledgement: " + str(ack))
    print("dm: delivered and acknowledged")


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    program, certs = sys.argv[1], sys.argv[2]
    control_port = free_port()
    server = subprocess.Popen([program, "--port", "0", "--control-port", str(control_port), "--quiet"],
                              stdout=subprocess.PIPE, text=True)
    try:
        line = server.stdout.readline().strip()
        if not line.startswith("velmor-server listening on "):
            sys.exit(f"FAILED: the server did not start (printed {line!r})")
        port = int(line.rsplit(":", 1)[1])
        asyncio.run(exercise(port, control_port, certs))
        server.send_signal(signal.SIGTERM)
        code = server.wait(TIMEOUT)
        check(code == 0, f"the server exits cleanly on SIGTERM (exit code {code})")
    except Exception as error:  # noqa: BLE001 -- every failure is reported the same way
        print(f"FAILED: {type(error).__name__}: {error}")
        return 1
    finally:
        if server.poll() is None:
            server.kill()
            server.wait()
    print("interoperability check passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
