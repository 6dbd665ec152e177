"""Builds firmware upgrade images for the boardutil tests and benchmark.

Image layout, every field little-endian: a 40-byte header (magic 00 51 56 4B, CRC-32 of the
whole file with the CRC field zeroed, board ids 0-3 at bytes 16-23), eight 16-byte section
slots (present, flash offset, size, real size; the first slot with present 0 ends the
table), then the section data back to back.
"""
import struct
import zlib

MAGIC = b'\x00\x51\x56\x4b'
HEADER_SIZE = 40
SLOT_SIZE = 16

# First four bytes of each kind of section.
PARTITION_TABLE = bytes.fromhex('03110220')
KERNEL = bytes.fromhex('27051956')          # boot loader image header
KERNEL_LZMA = bytes.fromhex('6d000080')     # raw LZMA stream
ROOTFS = b'hsqs'
OTHER = b'DATA'


def payload(kind, size, fill=0xa5):
    """Section data of size bytes that starts with the kind's four bytes."""
    data = kind + bytes([fill]) * max(0, size - len(kind))
    return data[:size]


class Section:
    """One section: its flash offset, its data and, when it differs, the size in flash."""

    def __init__(self, offset, data, real_size=None, size=None):
        self.offset = offset
        self.data = data
        self.size = len(data) if size is None else size
        self.real_size = self.size if real_size is None else real_size


def data_positions(sections, terminated=True):
    """Where each section's data starts in the image."""
    pos = HEADER_SIZE + SLOT_SIZE * (len(sections) + (1 if terminated else 0))
    positions = []
    for s in sections:
        positions.append(pos)
        pos += len(s.data)
    return positions


def crc_of(image):
    """The CRC an image's header carries: over the file with bytes 4-7 taken as 0."""
    return zlib.crc32(image[:4] + b'\0\0\0\0' + image[8:])


def build_image(sections, ids=(0, 0, 0, 0), crc=True, magic=MAGIC, terminated=True):
    """The image bytes. crc False leaves the field 0 (no CRC). terminated False leaves
    out the terminating slot (eight sections then fill the whole table)."""
    header = bytearray(HEADER_SIZE)
    header[0:4] = magic
    header[16:24] = struct.pack('<4H', *ids)
    slots = bytearray()
    for s in sections:
        slots += struct.pack('<4I', 1, s.offset, s.size, s.real_size)
    if terminated:
        slots += bytes(SLOT_SIZE)
    # The first section's data starts right after the terminating slot.
    image = bytearray(header) + slots + b''.join(s.data for s in sections)
    if crc:
        image[4:8] = struct.pack('<I', crc_of(bytes(image)))
    return bytes(image)
