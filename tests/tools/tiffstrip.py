# The one strip of a TIFF file's page, written to a file of its own: tiffstrip.py TIFF OUT [PAGE]
# (the first page when none is named). No tool of libtiff's prints a strip whole. A page of
# several strips fails.
import struct
import sys

data = open(sys.argv[1], 'rb').read()
assert data[:4] == b'II*\0', 'a little-endian TIFF'
ifd = struct.unpack_from('<I', data, 4)[0]
for _ in range(int(sys.argv[3]) - 1 if len(sys.argv) > 3 else 0):
    ifd = struct.unpack_from('<I', data, ifd + 2 + 12 * struct.unpack_from('<H', data, ifd)[0])[0]
    assert ifd, 'no such page'
tags = {}
for i in range(struct.unpack_from('<H', data, ifd)[0]):
    tag, kind, count, value = struct.unpack_from('<HHII', data, ifd + 2 + 12 * i)
    tags[tag] = (count, value if kind == 4 else value & 0xFFFF)
assert tags[273][0] == 1, 'one strip'
open(sys.argv[2], 'wb').write(data[tags[273][1]:tags[273][1] + tags[279][1]])
