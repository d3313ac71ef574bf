# A one-strip Group 4 TIFF (Ghostscript's tiffg4 with -dMaxStripSize=0) wrapped into a CALS header
# at 300 dpi, so that a drawing of another program's encoder goes through the tools.
#   gscals.py IN.tif OUT.cal
import struct, sys
data = open(sys.argv[1], 'rb').read()
assert data[:4] == b'II*\0'
ifd = struct.unpack_from('<I', data, 4)[0]
tags = {}
for i in range(struct.unpack_from('<H', data, ifd)[0]):
    tag, kind, count, value = struct.unpack_from('<HHII', data, ifd + 2 + 12 * i)
    tags[tag] = value if kind == 4 else value & 0xFFFF
assert tags[259] == 4 and tags.get(266, 1) == 1
width, height, offset, size = tags[256], tags[257], tags[273], tags[279]
records = ['srcdocid: NONE', 'rtype: 1', 'rorient: 000,270', 'rpelcnt: %06d,%06d' % (width, height), 'rdensty: 0300', 'notes: NONE']
header = b''.join(r.encode().ljust(128, b' ') for r in records).ljust(2048, b' ')
open(sys.argv[2], 'wb').write(header + data[offset:offset + size])
