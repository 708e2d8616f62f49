#!/usr/bin/env python3
"""HLS clients against the engine, as players poll a live playlist:
    python3 bench/hls_load.py --port 8000 --clients 2000 --seconds 60 [--ramp 500]
Each client fetches /live.m3u8, then every segment it has not fetched yet, then waits the
playlist's target duration and polls again (a live player polls about that often), one
connection per request. After --seconds it prints requests, bytes, errors and segments per
client. Standard library only; every loop ends by the deadline."""
import argparse
import asyncio
import random
import re
import time


async def get(host, port, path):
    reader, writer = await asyncio.open_connection(host, port)
    try:
        writer.write(f"GET {path} HTTP/1.1\r\nHost: {host}\r\nConnection: close\r\n\r\n".encode())
        await writer.drain()
        data = await reader.read()
    finally:
        writer.close()
    head, _, body = data.partition(b"\r\n\r\n")
    return head.split(b" ", 2)[1] if b" " in head else b"", body


async def client(args, deadline, stats, delay):
    await asyncio.sleep(delay)
    seen = set()
    while time.monotonic() < deadline:
        target = 6
        try:
            status, body = await get(args.host, args.port, "/live.m3u8")
            stats["requests"] += 1
            stats["bytes"] += len(body)
            if status != b"200":
                stats["errors"] += 1
            else:
                text = body.decode("utf-8", "replace")
                match = re.search(r"#EXT-X-TARGETDURATION:(\d+)", text)
                target = int(match.group(1)) if match else 6
                for uri in re.findall(r"^[^#\s].*$", text, re.M):
                    if uri in seen or time.monotonic() >= deadline:
                        continue
                    path = uri if uri.startswith("/") else "/" + uri
                    status, segment = await get(args.host, args.port, path)
                    stats["requests"] += 1
                    stats["bytes"] += len(segment)
                    if status == b"200":
                        stats["segments"] += 1
                        seen.add(uri)
                    else:
                        stats["errors"] += 1
        except OSError:
            stats["errors"] += 1
        await asyncio.sleep(min(target, max(0.0, deadline - time.monotonic())))


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--clients", type=int, default=100)
    parser.add_argument("--seconds", type=float, default=30)
    parser.add_argument("--ramp", type=float, default=500)
    args = parser.parse_args()
    stats = {"requests": 0, "bytes": 0, "errors": 0, "segments": 0}
    deadline = time.monotonic() + args.seconds
    # Spread over the ramp, then each client's polls fall where its first one did.
    tasks = [client(args, deadline, stats, i / args.ramp + random.random() * 0.01)
             for i in range(args.clients)]
    await asyncio.gather(*tasks)
    print(f"hls_clients {args.clients} requests {stats['requests']} errors {stats['errors']} "
          f"bytes {stats['bytes']} segments_per_client {stats['segments'] / args.clients:.1f}")


if __name__ == "__main__":
    asyncio.run(main())
