# Decodes PNG files with Pillow, a decoder independent of libpng, into the layout of the images
# velorund reads: gray, gray + alpha, RGB or RGBA, with a palette's colours and a tRNS chunk's
# transparency expanded; 8-bit samples, or 16-bit where Pillow keeps 16 bits (gray). For each
# file it writes a line "NAME WIDTH HEIGHT CHANNELS BITS", then the samples (16-bit ones
# little-endian, as the tool holds them in memory).
import sys

from PIL import Image

out = sys.stdout.buffer
for path in sys.argv[1:]:
    image = Image.open(path)
    image.load()
    transparent = image.info.get("transparency")
    # Pillow 9 scales gray of 1, 2 and 4 bits to 8 but leaves tRNS's gray at the file's depth.
    depth = open(path, "rb").read(25)[24]
    if image.mode in ("1", "L") and depth < 8 and transparent is not None:
        transparent = image.info["transparency"] = transparent * (255 // (2**depth - 1))
    if image.mode == "I":
        channels, bits = 1 if transparent is None else 2, 16
        samples = bytearray()
        for value in image.getdata():
            samples += value.to_bytes(2, "little")
            if transparent is not None:
                samples += b"\0\0" if value == transparent else b"\xff\xff"
    else:
        gray = image.mode in ("1", "L", "LA")
        alpha = image.mode in ("LA", "RGBA") or transparent is not None
        mode = ("L" if gray else "RGB") + ("A" if alpha else "")
        channels, bits, samples = len(mode), 8, image.convert(mode).tobytes()
    out.write(f"{path.rsplit('/', 1)[-1]} {image.width} {image.height} {channels} {bits}\n".encode())
    out.write(samples)
