#!/usr/bin/env python3
"""An independent WebSocket server over TLS for the transport's interoperability
tests and benchmark: Python's websockets library (Debian package
python3-websockets). It echoes every message. A text message that starts with
"!" is a command instead:

  !close CODE REASON   close the connection with that status and reason
  !binary TEXT         send TEXT back as a binary message
  !fragments N TEXT    send TEXT back as one text message in N fragments
  !ping PAYLOAD        ping with PAYLOAD; once the matching pong is back, send
                       "pong PAYLOAD" (or "no pong PAYLOAD" after 10 s)
  !large N             send a text message of exactly N bytes
  !drop                drop the TCP connection at once, without a close

Prints "websocket-peer listening on ADDRESS:PORT" once it accepts connections,
exits at once with a clear message if the port is taken, and ends cleanly on
SIGINT or SIGTERM.
"""
import argparse
import asyncio
import signal
import ssl
import sys

import websockets


async def handle(connection, path=None):
    try:
        async for message in connection:
            if isinstance(message, str) and message.startswith("!"):
                await command(connection, message[1:])
            else:
                await connection.send(message)
    except websockets.ConnectionClosed:
        pass


async def command(connection, text):
    name, _, rest = text.partition(" ")
    if name == "close":
        code, _, reason = rest.partition(" ")
        await connection.close(int(code), reason)
    elif name == "binary":
        await connection.send(rest.encode())
    elif name == "fragments":
        count, _, body = rest.partition(" ")
        count = max(1, int(count))
        step = max(1, -(-len(body) // count))
        await connection.send(iter([body[i:i + step] for i in range(0, len(body), step)] or [""]))
    elif name == "ping":
        waiter = await connection.ping(rest.encode())
        try:
            await asyncio.wait_for(waiter, 10)
            await connection.send("pong " + rest)
        except asyncio.TimeoutError:
            await connection.send("no pong " + rest)
    elif name == "large":
        await connection.send("L" * int(rest))
    elif name == "drop":
        connection.transport.abort()
    else:
        await connection.send("unknown command " + name)


async def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--address", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=443)
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    options = parser.parse_args()

    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(options.cert, options.key)

    stop = asyncio.get_running_loop().create_future()
    for signal_number in (signal.SIGINT, signal.SIGTERM):
        asyncio.get_running_loop().add_signal_handler(signal_number, lambda: stop.done() or stop.set_result(None))
    try:
        server = await websockets.serve(handle, options.address, options.port, ssl=context, compression=None,
                                        max_size=4 * 1024 * 1024, ping_interval=None, close_timeout=2)
    except OSError as failure:
        print(f"websocket-peer: cannot listen on {options.address}:{options.port}: {failure.strerror}",
              file=sys.stderr, flush=True)
        return 1
    print(f"websocket-peer listening on {options.address}:{options.port}", flush=True)
    await stop
    server.close()
    await server.wait_closed()
    return 0


if __name__ == "__main__":
    sys.exit(asyncio.run(main()))
