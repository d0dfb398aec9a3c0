#!/usr/bin/env python3
"""Writes a payload manifest of real 32-bit PE files (Wine's own Windows DLLs and programs) adding up
to about the given number of megabytes, in name order.

    make-manifest.py <output manifest> [megabytes]
"""
import glob
import os
import sys

output = sys.argv[1]
limit = int(float(sys.argv[2] if len(sys.argv) > 2 else 42) * 1000 * 1000)
candidates = sorted(glob.glob('/usr/lib/i386-linux-gnu/wine/i386-windows/*.dll') +
                    glob.glob('/usr/lib/i386-linux-gnu/wine/i386-windows/*.exe'))
total = 0
lines = []
for path in candidates:
    size = os.path.getsize(path)
    if size < 64 * 1024 or size > 3 * 1024 * 1024:
        continue
    lines.append(f'{path}\t{os.path.basename(path)}\tregular\t3\n')
    total += size
    if total >= limit:
        break
if total < limit:
    sys.exit(f'only {total} bytes of PE files found, {limit} wanted')
with open(output, 'w') as manifest:
    manifest.write(''.join(lines))
print(f'{len(lines)} files, {total} bytes')
