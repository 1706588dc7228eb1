#!/usr/bin/python3
"""tun_delay.py IFNAME ONE_WAY_MS

Opens a TUN device and writes every packet read from it back into it
ONE_WAY_MS later: a fixed delay in each direction, first in first out, no
loss. The router namespace of small_files.sh sends its forwarded traffic
through the device, which gives the two other namespaces a real round-trip
time on a kernel without netem."""
import collections
import fcntl
import os
import select
import struct
import sys
import time

TUNSETIFF = 0x400454CA
IFF_TUN = 0x0001
IFF_NO_PI = 0x1000

name, delay = sys.argv[1], float(sys.argv[2]) / 1000.0
device = os.open("/dev/net/tun", os.O_RDWR)
fcntl.ioctl(device, TUNSETIFF, struct.pack("16sH", name.encode(), IFF_TUN | IFF_NO_PI))
pending = collections.deque()  # (due time, packet); one delay for all, so due order is arrival order
poller = select.poll()
poller.register(device, select.POLLIN)
print("tun_delay: %s, %.1f ms each way" % (name, delay * 1000), flush=True)
while True:
    now = time.monotonic()
    while pending and pending[0][0] <= now:
        os.write(device, pending.popleft()[1])
    wait = None if not pending else max(0.0, (pending[0][0] - now) * 1000.0)
    for _ in poller.poll(wait):
        pending.append((time.monotonic() + delay, os.read(device, 65535)))
