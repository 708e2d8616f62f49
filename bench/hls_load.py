#!/usr/bin/env python3
"""HLS clients against the engine, as hls.js plays a live playlist:
    python3 bench/hls_load.py --port 8000 --clients 2000 --seconds 60 [--ramp 500]
Each client keeps one HTTP/1.1 connection open (opening another when the server closes it),
fetches /live.m3u8, starts three segments from the live edge, then fetches every new segment
once and polls the playlist once per target duration. With --close it opens one connection per
request instead, as the first version of this tool did. After --seconds it prints requests,
connections, bytes, errors and segments per client. Standard library only; every loop ends by the
deadline."""
import argparse
import asyncio
import random
import re
import time

# Segments from the live edge a player starts at (hls.js's liveSyncDurationCount).
LIVE_EDGE_SEGMENTS = 3


class Connection:
    """One client's connection, opened on demand and reused while the server keeps it."""

    def __init__(self, args, stats):
        self.args, self.stats = args, stats
        self.reader = self.writer = None

    async def get(self, path):
        for attempt in range(2):
            if self.writer is None:
                self.reader, self.writer = await asyncio.open_connection(self.args.host,
                                                                         self.args.port)
                self.stats["connections"] += 1
            close = "Connection: close\r\n" if self.args.close else ""
            try:
                self.writer.write(f"GET {path} HTTP/1.1\r\nHost: {self.args.host}\r\n{close}\r\n"
                                  .encode())
                await self.writer.drain()
                head = await self.reader.readuntil(b"\r\n\r\n")
                length = re.search(rb"\r\nContent-Length: (\d+)", head, re.I)
                body = await self.reader.readexactly(int(length.group(1))) if length else b""
                if self.args.close or b"\r\nConnection: keep-alive" not in head:
                    self.shut()
                return head.split(b" ", 2)[1], body
            except (asyncio.IncompleteReadError, ConnectionError):
                # The server closed an idle connection as the request went out: once more on a
                # fresh one, as browsers do.
                self.shut()
                if attempt == 1:
                    raise
        return b"", b""

    def shut(self):
        if self.writer is not None:
            self.writer.close()
        self.reader = self.writer = None


async def client(args, deadline, stats, delay):
    await asyncio.sleep(delay)
    connection = Connection(args, stats)
    seen = None
    while time.monotonic() < deadline:
        target = 6
        try:
            status, body = await connection.get("/live.m3u8")
            stats["requests"] += 1
            stats["bytes"] += len(body)
            if status != b"200":
                stats["errors"] += 1
            else:
                text = body.decode("utf-8", "replace")
                match = re.search(r"#EXT-X-TARGETDURATION:(\d+)", text)
                target = int(match.group(1)) if match else 6
                uris = re.findall(r"^[^#\s].*$", text, re.M)
                if seen is None:
                    seen = set(uris[:-LIVE_EDGE_SEGMENTS])
                for uri in uris:
                    if uri in seen or time.monotonic() >= deadline:
                        continue
                    path = uri if uri.startswith("/") else "/" + uri
                    status, segment = await connection.get(path)
                    stats["requests"] += 1
                    stats["bytes"] += len(segment)
                    if status == b"200":
                        stats["segments"] += 1
                        seen.add(uri)
                    else:
                        stats["errors"] += 1
        except (OSError, asyncio.IncompleteReadError, asyncio.LimitOverrunError):
            stats["errors"] += 1
            connection.shut()
        await asyncio.sleep(min(target, max(0.0, deadline - time.monotonic())))
    connection.shut()


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--clients", type=int, default=100)
    parser.add_argument("--seconds", type=float, default=30)
    parser.add_argument("--ramp", type=float, default=500)
    parser.add_argument("--close", action="store_true", help="one connection per request")
    args = parser.parse_args()
    stats = {"requests": 0, "connections": 0, "bytes": 0, "errors": 0, "segments": 0}
    deadline = time.monotonic() + args.seconds
    # Spread over the ramp, then each client's polls fall where its first one did.
    tasks = [client(args, deadline, stats, i / args.ramp + random.random() * 0.01)
             for i in range(args.clients)]
    await asyncio.gather(*tasks)
    print(f"hls_clients {args.clients} requests {stats['requests']} "
          f"connections {stats['connections']} errors {stats['errors']} "
          f"bytes {stats['bytes']} segments_per_client {stats['segments'] / args.clients:.1f}")


if __name__ == "__main__":
    asyncio.run(main())
