#!/usr/bin/env python3
"""Hand-made PDFs as an attacker or a careless writer makes them, one file a kind, into OUTDIR:
bombs of Flate and LZW, pictures of lawful but large size, many pages drawing one image, chains of
object streams, page trees and forms that repeat, a dictionary of many keys, numbers out of range,
masked pictures, an inline image, a wrong checksum, a catalog the trailer does not name, one
drawing in strips, and strings that never close.
  hostile.py OUTDIR"""
import os
import sys
import zlib

out = sys.argv[1]
os.makedirs(out, exist_ok=True)


def stream(entries, data):
    return b"<< " + entries + b" /Length %d >>\nstream\n" % len(data) + data + b"\nendstream"


def document(objects, root=1, trailer_root=None):
    """objects: bytes of objects 1..n; a classic cross-reference table."""
    body = b"%PDF-1.5\n%\xe2\xe3\xcf\xd3\n"
    offsets = []
    for number, obj in enumerate(objects, 1):
        offsets.append(len(body))
        body += b"%d 0 obj\n" % number + obj + b"\nendobj\n"
    xref = len(body)
    body += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    body += b"".join(b"%010d 00000 n \n" % o for o in offsets)
    body += b"trailer\n<< /Size %d /Root %d 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, trailer_root or root, xref)
    return body


def one_page(image, data, draw=b"q 612 0 0 792 0 0 cm /Im Do Q", more=(), box=b"0 0 612 792", page_extra=b""):
    """Objects 1-5: catalog, pages, page, content, image; `more` from 6 on."""
    return [
        b"<< /Type /Catalog /Pages 2 0 R >>",
        b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [" + box + b"] /Resources << /XObject << /Im 5 0 R >> >> /Contents 4 0 R "
        + page_extra + b">>",
        stream(b"", draw),
        stream(b"/Type /XObject /Subtype /Image " + image, data),
    ] + list(more)


def write(name, body):
    with open(os.path.join(out, name), "wb") as f:
        f.write(body)


def deflate_zeros(count):
    z = zlib.compressobj(9)
    block = bytes(1 << 20)
    parts = [z.compress(block) for _ in range(count >> 20)]
    return b"".join(parts) + z.compress(bytes(count & ((1 << 20) - 1))) + z.flush()


def lzw_zeros(codes):
    """LZW (early change) of zeros: runs of 1 to 3839 fill the table, then the longest run again."""
    sequence = [0] + list(range(258, 4096)) + [4095] * codes
    bits, count, data = 0, 0, bytearray()
    size = 258
    for i, code in enumerate(sequence):
        width = 9 if size + 1 < 512 else 10 if size + 1 < 1024 else 11 if size + 1 < 2048 else 12
        bits = (bits << width) | code
        count += width
        while count >= 8:
            count -= 8
            data.append((bits >> count) & 0xFF)
        bits &= (1 << count) - 1
        if i > 0 and size < 4096:
            size += 1
    if count:
        data.append((bits << (8 - count)) & 0xFF)
    return bytes(data)


# 400 dpi on a page of the picture's size (points = pels * 72 / 400).
def placed(width, height, dpi=400):
    w, h = width * 72.0 / dpi, height * 72.0 / dpi
    return b"q %.4f 0 0 %.4f 0 0 cm /Im Do Q" % (w, h), b"0 0 %.4f %.4f" % (w, h)


# 1. Flate inflated twice: 512 MiB of zeros, as a picture (read only as far as it needs) and as
#    the page's content (refused past its limit).
twice = zlib.compress(deflate_zeros(1 << 29), 9)
draw, box = placed(64, 64)
write("flate-twice-picture.pdf", document(one_page(
    b"/Width 64 /Height 64 /ColorSpace /DeviceGray /BitsPerComponent 1 /Filter [/FlateDecode /FlateDecode]",
    twice, draw, box=box)))
objects = one_page(b"/Width 64 /Height 64 /ImageMask true", bytes(512), draw, box=box)
objects[3] = stream(b"/Filter [/FlateDecode /FlateDecode]", twice)
write("flate-twice-content.pdf", document(objects))

# 2. An LZW bomb (about 600 KB, 1.5 GB of zeros), as a picture and as the page's content.
bomb = lzw_zeros(400000)
write("lzw-picture.pdf", document(one_page(
    b"/Width 64 /Height 64 /ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /LZWDecode", bomb, draw, box=box)))
objects = one_page(b"/Width 64 /Height 64 /ImageMask true", bytes(512), draw, box=box)
objects[3] = stream(b"/Filter /LZWDecode", bomb)
write("lzw-content.pdf", document(objects))

# 3. Pictures of lawful size that decode to 500 MB (1-bit) and 1 GB (grey, white).
draw, box = placed(65536, 61000)
write("large-1bit.pdf", document(one_page(
    b"/Width 65536 /Height 61000 /ColorSpace /DeviceGray /BitsPerComponent 1 /Decode [1 0] /Filter /FlateDecode",
    deflate_zeros(65536 // 8 * 61000), draw, box=box)))
draw, box = placed(32768, 32000)
z = zlib.compressobj(9)
white = b"".join(z.compress(b"\xff" * (32768 * 1000)) for _ in range(32)) + z.flush()
write("large-grey.pdf", document(one_page(
    b"/Width 32768 /Height 32000 /ColorSpace /DeviceGray /BitsPerComponent 8 /Filter /FlateDecode", white, draw, box=box)))

# 4. 400 pages drawing one 8 MB image (2896 by 2896 grey of black and white).
rows = []
for y in range(2896):
    row = bytearray(b"\xff" * 2896)
    row[y % 2896] = 0
    row[(y * 7) % 2896] = 0
    rows.append(bytes(row))
draw, box = placed(2896, 2896)
pages = 400
objects = [b"<< /Type /Catalog /Pages 2 0 R >>",
           b"<< /Type /Pages /Kids [" + b" ".join(b"%d 0 R" % (5 + p) for p in range(pages)) + b"] /Count %d >>" % pages,
           stream(b"/Type /XObject /Subtype /Image /Width 2896 /Height 2896 /ColorSpace /DeviceGray /BitsPerComponent 8 "
                  b"/Filter /FlateDecode", zlib.compress(b"".join(rows), 6)),
           stream(b"", draw)]
for p in range(pages):
    objects.append(b"<< /Type /Page /Parent 2 0 R /MediaBox [" + box + b"] /Resources << /XObject << /Im 3 0 R >> >> "
                   b"/Contents 4 0 R >>")
write("one-image-400-pages.pdf", document(objects))

# 5. Object streams, each holding the /Length of the one before: 3,000 links. The content's
#    /Length is object 6, in object stream S0; object stream Sk's /Length is object Lk, in S(k+1).
links = 3000
draw, box = placed(64, 64)
base = one_page(b"/Width 64 /Height 64 /ImageMask true", bytes(512), draw, box=box)
base[3] = b"<< /Length 6 0 R >>\nstream\n" + draw + b"\nendstream"
body = b"%PDF-1.5\n"
offsets = {}
for number, obj in enumerate(base, 1):
    offsets[number] = len(body)
    body += b"%d 0 obj\n" % number + obj + b"\nendobj\n"
first = 7                                   # S0
length_of = lambda k: first + links + k     # Lk: the /Length of Sk, held in S(k+1)
previous = len(draw)
for k in range(links):
    held = 6 if k == 0 else length_of(k - 1)
    head = b"%d 0 " % held
    data = head + b"%d" % previous
    length = b"%d 0 R" % length_of(k) if k + 1 < links else b"%d" % len(data)
    offsets[first + k] = len(body)
    body += (b"%d 0 obj\n<< /Type /ObjStm /N 1 /First %d /Length " % (first + k, len(head)) + length + b" >>\nstream\n" +
             data + b"\nendstream\nendobj\n")
    previous = len(data)
xref_number = first + 2 * links - 1
table = bytearray()
for n in range(xref_number + 1):
    if n == 6:
        table += bytes([2]) + first.to_bytes(4, "big") + bytes(2)
    elif first + links <= n < xref_number:
        table += bytes([2]) + (n - links + 1).to_bytes(4, "big") + bytes(2)
    elif n == xref_number:
        table += bytes([1]) + len(body).to_bytes(4, "big") + bytes(2)
    elif n in offsets:
        table += bytes([1]) + offsets[n].to_bytes(4, "big") + bytes(2)
    else:
        table += bytes(7)
at = len(body)
body += (b"%d 0 obj\n<< /Type /XRef /Size %d /W [1 4 2] /Root 1 0 R /Length %d >>\nstream\n" % (xref_number, xref_number + 1, len(table))
         + bytes(table) + b"\nendstream\nendobj\nstartxref\n%d\n%%%%EOF\n" % at)
write("object-stream-chain.pdf", body)

# 6. A page tree of 26 levels, each naming its one kid twice.
levels = 26
objects = [b"<< /Type /Catalog /Pages 2 0 R >>"]
for level in range(levels):
    objects.append(b"<< /Type /Pages /Kids [%d 0 R %d 0 R] /Count 0 >>" % (3 + level, 3 + level))
objects.append(b"<< /Type /Pages /Kids [] /Count 0 >>")
write("page-tree-dag.pdf", document(objects))

# 7. Forms nested 8 deep, each drawing the next 10 times; the last draws nothing, then the page's
#    one picture.
depth = 8
draw, box = placed(64, 64)
objects = one_page(b"/Width 64 /Height 64 /ImageMask true", bytes(512), b"/F6 Do " + draw, box=box)
objects[2] = (b"<< /Type /Page /Parent 2 0 R /MediaBox [" + box + b"] /Resources << /XObject << /Im 5 0 R /F6 6 0 R >> >> "
              b"/Contents 4 0 R >>")
for d in range(depth):
    number = 6 + d
    inner = b" ".join([b"/F Do"] * 10) if d + 1 < depth else b"0 0 m"
    resources = b"/Resources << /XObject << /F %d 0 R >> >>" % (number + 1) if d + 1 < depth else b""
    objects.append(stream(b"/Type /XObject /Subtype /Form /BBox [0 0 1 1] " + resources, inner))
write("forms-nested.pdf", document(objects))

# 8. A dictionary of 80,000 keys (the image's).
keys = b" ".join(b"/K%d %d" % (k, k) for k in range(80000))
write("many-keys.pdf", document(one_page(b"/Width 64 /Height 64 /ImageMask true " + keys, bytes(512), draw, box=box)))

# 9. Numbers out of range: a /Rotate of 1e30, 45 and 90.5; a /Width of 1e34; a /Length of 1e34.
for name, extra in ((b"rotate-1e30", b"/Rotate 1e30"), (b"rotate-45", b"/Rotate 45"), (b"rotate-90.5", b"/Rotate 90.5")):
    write(name.decode() + ".pdf", document(one_page(b"/Width 64 /Height 64 /ImageMask true", bytes(512), draw, box=box,
                                                    page_extra=extra)))
write("width-1e34.pdf", document(one_page(b"/Width 1e34 /Height 64 /ImageMask true", bytes(512), draw, box=box)))
objects = one_page(b"/Width 64 /Height 64 /ImageMask true", bytes(512), draw, box=box)
objects[4] = objects[4].replace(b"/Length 512", b"/Length 1e34")
write("length-1e34.pdf", document(objects))

# 10. Masked pictures: a black picture drawn through a stencil /Mask, and one carrying its line
#     work as an /SMask; a colour key /Mask. 800 by 600, 200 dpi.
w, h = 800, 600
draw, box = placed(w, h, 200)
lines = bytearray(w * h)  # 255 where a line is drawn
for y in range(h):
    for x in range(w):
        if (x + 2 * y) % 97 < 3 or abs(x - 400) < 2 or (y % 150) < 2:
            lines[y * w + x] = 255
black = zlib.compress(bytes(w * h), 9)
stencil = bytearray((w + 7) // 8 * h)  # 0 where painted
for y in range(h):
    for x in range(w):
        if not lines[y * w + x]:
            stencil[y * ((w + 7) // 8) + x // 8] |= 0x80 >> (x % 8)
size_ = b"/Width %d /Height %d " % (w, h)
write("mask-stencil.pdf", document(one_page(
    size_ + b"/ColorSpace /DeviceGray /BitsPerComponent 8 /Filter /FlateDecode /Mask 6 0 R", black, draw, box=box,
    more=[stream(b"/Type /XObject /Subtype /Image /ImageMask true " + size_ + b"/Filter /FlateDecode", zlib.compress(bytes(stencil)))])))
write("mask-soft.pdf", document(one_page(
    size_ + b"/ColorSpace /DeviceGray /BitsPerComponent 8 /Filter /FlateDecode /SMask 6 0 R", black, draw, box=box,
    more=[stream(b"/Type /XObject /Subtype /Image /ColorSpace /DeviceGray /BitsPerComponent 8 " + size_ + b"/Filter /FlateDecode",
                 zlib.compress(bytes(lines)))])))
keyed = bytes(0 if lines[i] else 200 for i in range(w * h))  # 200 keyed out: only the lines are painted
write("mask-colour-key.pdf", document(one_page(
    size_ + b"/ColorSpace /DeviceGray /BitsPerComponent 8 /Filter /FlateDecode /Mask [150 255]", zlib.compress(keyed), draw, box=box)))

# 11. An inline image: the page's drawing, 400 by 160, 1-bit, through ASCIIHex.
iw, ih = 400, 160
bits = bytearray()
for y in range(ih):
    for xb in range(iw // 8):
        bits.append(0x00 if (y // 8 + xb) % 5 == 0 else 0xFF)
draw, box = placed(iw, ih, 200)
inline = (b"q %s cm BI /W %d /H %d /CS /G /BPC 1 /F /AHx ID " % (draw.split(b" cm")[0][2:], iw, ih) + bits.hex().encode() + b"> EI Q")
objects = one_page(b"/Width 1 /Height 1 /ImageMask true", b"\x00", inline, box=box)
write("inline-image.pdf", document(objects))

# 12. A content stream whose zlib checksum is wrong (its data whole), a Group 4-free picture.
draw, box = placed(64, 64)
objects = one_page(b"/Width 64 /Height 64 /ColorSpace /DeviceGray /BitsPerComponent 1", bytes(512), draw, box=box)
wrong = bytearray(zlib.compress(draw))
wrong[-1] ^= 0xFF
objects[3] = stream(b"/Filter /FlateDecode", bytes(wrong))
write("wrong-checksum.pdf", document(objects))

# 13. A trailer whose /Root names no catalog; the catalog is found by a scan.
write("catalog-by-scan.pdf", document(one_page(b"/Width 64 /Height 64 /ColorSpace /DeviceGray /BitsPerComponent 1", bytes(512),
                                               draw, box=box), trailer_root=4))

# 14. One drawing in three strips, as some writers split a large picture.
w, h = 800, 600
draw, box = placed(w, h, 200)
rowbytes = (w + 7) // 8
lines_1bit = bytearray(rowbytes * h)  # 1 white
for y in range(h):
    for x in range(w):
        if not lines[y * w + x]:
            lines_1bit[y * rowbytes + x // 8] |= 0x80 >> (x % 8)
objects = [b"<< /Type /Catalog /Pages 2 0 R >>", b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>", b"", b""]
names, draw = b"", b""
for k, (top, rows) in enumerate(((0, 250), (250, 250), (500, 100))):
    names += b"/S%d %d 0 R " % (k, 5 + k)
    draw += b"q %.4f 0 0 %.4f 0 %.4f cm /S%d Do Q\n" % (w * 72.0 / 200, rows * 72.0 / 200, (h - top - rows) * 72.0 / 200, k)
    objects.append(stream(b"/Type /XObject /Subtype /Image /ColorSpace /DeviceGray /BitsPerComponent 1 /Width %d /Height %d "
                          b"/Filter /FlateDecode" % (w, rows), zlib.compress(bytes(lines_1bit[top * rowbytes:(top + rows) * rowbytes]))))
objects[2] = b"<< /Type /Page /Parent 2 0 R /MediaBox [" + box + b"] /Resources << /XObject << " + names + b">> >> /Contents 4 0 R >>"
objects[3] = stream(b"", draw)
write("strips.pdf", document(objects))

# 15. No cross-reference, and 30,000 objects each opening a string it never closes: a scan finds
#     them, and each is read no further than the next.
body = b"%PDF-1.4\n" + b"".join(b"%d 0 obj\n<< /Title (never closed >>\nendobj\n" % n for n in range(1, 30001))
write("open-strings.pdf", body + b"%%EOF\n")
