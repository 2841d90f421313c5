#!/usr/bin/env python3
"""Shrinks the unwind tables (.eh_frame) of a linked 32-bit MinGW executable without changing them.

Every function of the static C++ runtime comes with its own copy of the common information entry
(CIE) its frame description entry (FDE) refers to, because the library is built with a section per
function and the PE linker, unlike the ELF one, never merges them: about 3,000 copies of a few dozen
distinct CIEs, 80 KB of a stub of 1.3 MB. This keeps one CIE of each kind (the same bytes, and the
same personality routine slot) and points every FDE at it.

The unwinder (libgcc's, registered by crtbegin with __register_frame_info) walks the records from
__EH_FRAME_BEGIN__ up to a zero length word and finds each FDE's CIE through its CIE pointer. The
rewritten records start at the same address, hold the same FDEs in the same order, each with the same
bytes but for the fields that are relative to the record's own place (CIE pointer, initial location
and LSDA address, pc-relative), which are recomputed so that they name the same targets. The section
keeps its address and memory size (the loader zero-fills what the file no longer holds, which ends
the walk); the file sections after it move down. Records after the end word, which no walk reaches
(crtend's own), are left out. Refuses anything it does not fully understand, and
checks its own output: the walk over the new records must give the same FDEs with the same CIE
contents, and every other byte of the image in memory must be unchanged.

  compact-eh-frame.py <exe>                 rewrite in place
  compact-eh-frame.py <exe> --keep <copy>   first copy the input to <copy>
"""
import shutil
import struct
import sys

PCREL_SDATA4 = 0x1B          # DW_EH_PE_pcrel | DW_EH_PE_sdata4
INDIRECT_PCREL_SDATA4 = 0x9B  # DW_EH_PE_indirect | the above
OMIT = 0xFF


class Refused(Exception):
    pass


def leb128(data, pos, signed=False):
    value = shift = 0
    while True:
        byte = data[pos]
        pos += 1
        value |= (byte & 0x7F) << shift
        shift += 7
        if not byte & 0x80:
            if signed and byte & 0x40:
                value -= 1 << shift
            return value, pos


def uleb(data, pos):
    return leb128(data, pos)


def sleb(data, pos):
    return leb128(data, pos, signed=True)


def check_instructions(data, pos, end):
    """Refuses call frame instructions whose operands could depend on the record's place."""
    while pos < end:
        op = data[pos]
        pos += 1
        high = op & 0xC0
        if high == 0x40 or high == 0xC0:        # advance_loc, restore
            continue
        if high == 0x80:                        # offset
            _, pos = uleb(data, pos)
            continue
        if op in (0x00, 0x0A, 0x0B):            # nop, remember_state, restore_state
            continue
        if op == 0x02:
            pos += 1
        elif op == 0x03:
            pos += 2
        elif op == 0x04:
            pos += 4
        elif op in (0x06, 0x07, 0x08, 0x0D, 0x0E, 0x2E):
            _, pos = uleb(data, pos)
        elif op in (0x05, 0x09, 0x0C, 0x14, 0x2F):
            _, pos = uleb(data, pos)
            _, pos = uleb(data, pos)
        elif op in (0x11, 0x12, 0x15):
            _, pos = uleb(data, pos)
            _, pos = sleb(data, pos)
        elif op == 0x13:
            _, pos = sleb(data, pos)
        elif op == 0x0F:                        # def_cfa_expression: a block
            length, pos = uleb(data, pos)
            pos += length
        elif op in (0x10, 0x16):                # expression, val_expression: register, block
            _, pos = uleb(data, pos)
            length, pos = uleb(data, pos)
            pos += length
        else:                                   # set_loc (an address) and anything unknown
            raise Refused("call frame instruction 0x%02x" % op)
    if pos != end:
        raise Refused("call frame instructions overrun their record")


class Image:
    def __init__(self, data):
        self.data = bytearray(data)
        d = self.data
        if d[:2] != b"MZ":
            raise Refused("not an MZ executable")
        self.pe = struct.unpack_from("<I", d, 0x3C)[0]
        if d[self.pe:self.pe + 4] != b"PE\0\0":
            raise Refused("no PE signature")
        machine, count = struct.unpack_from("<HH", d, self.pe + 4)
        if machine != 0x14C:
            raise Refused("not a 32-bit x86 image")
        symbols, = struct.unpack_from("<I", d, self.pe + 12)
        if symbols:
            raise Refused("the image carries a symbol table; give the stripped one")
        opt_size, = struct.unpack_from("<H", d, self.pe + 20)
        self.opt = self.pe + 24
        if struct.unpack_from("<H", d, self.opt)[0] != 0x10B:
            raise Refused("not a PE32 optional header")
        self.base, = struct.unpack_from("<I", d, self.opt + 28)
        self.file_align, = struct.unpack_from("<I", d, self.opt + 36)
        directories, = struct.unpack_from("<I", d, self.opt + 92)
        self.dirs = [struct.unpack_from("<II", d, self.opt + 96 + 8 * i) for i in range(directories)]
        for index, what in ((4, "a certificate table"), (6, "a debug directory")):
            if index < len(self.dirs) and self.dirs[index][1]:
                raise Refused("the image has %s, which holds file offsets" % what)
        self.sections = []
        table = self.opt + opt_size
        for i in range(count):
            at = table + 40 * i
            name = bytes(d[at:at + 8]).rstrip(b"\0").decode("latin-1")
            vsize, rva, raw_size, raw_at = struct.unpack_from("<IIII", d, at + 8)
            self.sections.append({"name": name, "header": at, "vsize": vsize, "rva": rva,
                                  "raw_size": raw_size, "raw_at": raw_at})

    def section_of(self, rva):
        for s in self.sections:
            if s["rva"] <= rva < s["rva"] + max(s["vsize"], s["raw_size"]):
                return s
        raise Refused("address 0x%x lies in no section" % (self.base + rva))

    def read32(self, rva):
        s = self.section_of(rva)
        if rva - s["rva"] + 4 > s["raw_size"]:
            return 0
        return struct.unpack_from("<I", self.data, s["raw_at"] + rva - s["rva"])[0]

    def relocated_values(self):
        """The 32-bit values that the base relocations adjust, by the address that holds them."""
        rva, size = self.dirs[5]
        values = {}
        end = rva + size
        while rva < end:
            page = self.read32(rva)
            block = self.read32(rva + 4)
            if block < 8:
                break
            for i in range((block - 8) // 2):
                entry = self.read32(rva + 8 + 2 * i) & 0xFFFF
                kind, offset = entry >> 12, entry & 0xFFF
                if kind == 0:
                    continue
                if kind != 3:
                    raise Refused("base relocation of type %d" % kind)
                values[page + offset] = self.read32(page + offset)
            rva += block
        return values

    def memory(self):
        """Every section as the loader lays it out, by name and address."""
        out = []
        for s in self.sections:
            raw = bytes(self.data[s["raw_at"]:s["raw_at"] + min(s["raw_size"], s["vsize"])])
            out.append((s["name"], s["rva"], raw + bytes(s["vsize"] - len(raw))))
        return out


def pcrel(value, place):
    """Target of a pc-relative signed 32-bit field at `place` (an address); zero stays zero (null)."""
    if value == 0:
        return 0
    if value & 0x80000000:
        value -= 1 << 32
    return (place + value) & 0xFFFFFFFF


def parse_records(frame, start, frame_va):
    """The records from `start` (an offset in `frame`) up to the zero length word: for each CIE its
    meaning with addresses made absolute, for each FDE likewise; plus the offset of the end word."""
    records = []
    cies = {}
    pos = start
    while True:
        if pos + 4 > len(frame):
            raise Refused("the records run past the section")
        length, = struct.unpack_from("<I", frame, pos)
        if length == 0:
            return records, pos
        if length == 0xFFFFFFFF:
            raise Refused("64-bit DWARF record")
        body, end = pos + 4, pos + 4 + length
        ident, = struct.unpack_from("<I", frame, body)
        if ident == 0:
            version = frame[body + 4]
            if version != 1:
                raise Refused("CIE version %d" % version)
            aug_end = frame.index(b"\0", body + 5)
            aug = bytes(frame[body + 5:aug_end])
            p = aug_end + 1
            code_align, p = uleb(frame, p)
            data_align, p = sleb(frame, p)
            return_reg = frame[p]
            p += 1
            fields = {"personality": None, "lsda": OMIT, "fde": 0x00}
            personality_at = None
            if aug[:1] == b"z":
                aug_len, p = uleb(frame, p)
                q, aug_data_end = p, p + aug_len
                for letter in aug[1:].decode("latin-1"):
                    if letter == "P":
                        encoding = frame[q]
                        if encoding != INDIRECT_PCREL_SDATA4:
                            raise Refused("personality encoding 0x%02x" % encoding)
                        personality_at = q + 1 - pos
                        fields["personality"] = pcrel(struct.unpack_from("<I", frame, q + 1)[0],
                                                      frame_va + q + 1)
                        q += 5
                    elif letter == "L":
                        fields["lsda"] = frame[q]
                        q += 1
                    elif letter == "R":
                        fields["fde"] = frame[q]
                        q += 1
                    else:
                        raise Refused("augmentation %r" % aug)
                if q != aug_data_end:
                    raise Refused("augmentation data of unexpected length")
                p = aug_data_end
            elif aug:
                raise Refused("augmentation %r" % aug)
            if fields["fde"] != PCREL_SDATA4 or fields["lsda"] not in (PCREL_SDATA4, OMIT):
                raise Refused("pointer encodings %r" % fields)
            check_instructions(frame, p, end)
            key = (aug, code_align, data_align, return_reg, fields["personality"], fields["lsda"],
                   bytes(frame[p:end]))
            cie = {"kind": "cie", "at": pos, "bytes": bytes(frame[pos:end]), "key": key,
                   "personality_at": personality_at, "lsda": fields["lsda"], "z": aug[:1] == b"z"}
            cies[pos] = cie
            records.append(cie)
        else:
            cie_at = body - ident
            if cie_at not in cies:
                raise Refused("an FDE refers to no CIE before it")
            cie = cies[cie_at]
            begin = pcrel(struct.unpack_from("<I", frame, body + 4)[0], frame_va + body + 4)
            span, = struct.unpack_from("<I", frame, body + 8)
            p = body + 12
            lsda = None
            if cie["z"]:
                aug_len, p = uleb(frame, p)
                if cie["lsda"] == PCREL_SDATA4:
                    if aug_len != 4:
                        raise Refused("LSDA field of unexpected length")
                    lsda = pcrel(struct.unpack_from("<I", frame, p)[0], frame_va + p)
                elif aug_len:
                    raise Refused("augmentation data without an LSDA")
                p += aug_len
            check_instructions(frame, p, end)
            records.append({"kind": "fde", "at": pos, "bytes": bytes(frame[pos:end]), "cie": cie,
                            "begin": begin, "span": span, "lsda": lsda, "lsda_field": p - 4 - pos
                            if cie["z"] and cie["lsda"] == PCREL_SDATA4 else None,
                            "instructions": bytes(frame[p:end])})
        pos = end


def meaning(records):
    """What the unwinder reads from the records: each FDE with the contents of its CIE."""
    return [(r["begin"], r["span"], r["lsda"], r["instructions"], r["cie"]["key"])
            for r in records if r["kind"] == "fde"]


def compact(data):
    image = Image(data)
    frames = [s for s in image.sections if s["name"] in (".eh_fram", ".eh_frame")]
    if len(frames) != 1:
        raise Refused("no single .eh_frame section")
    eh = frames[0]
    if eh["raw_size"] < eh["vsize"]:
        raise Refused(".eh_frame is not wholly in the file")
    eh_va = image.base + eh["rva"]
    # The address the startup code registers: the one relocated value that points into the section.
    inside = {v for v in image.relocated_values().values() if eh_va <= v < eh_va + eh["vsize"]}
    if len(inside) != 1:
        raise Refused("expected one registered address in .eh_frame, found %d" % len(inside))
    begin_va = inside.pop()
    frame = bytes(image.data[eh["raw_at"]:eh["raw_at"] + eh["vsize"]])
    start = begin_va - eh_va
    records, end_word = parse_records(frame, start, eh_va)

    # One CIE per distinct meaning, placed where the first of its kind was; every FDE keeps its bytes
    # but for the fields that are relative to its place.
    out = bytearray(frame[:start])
    placed = {}
    for r in records:
        here = len(out)
        va = eh_va + here
        if r["kind"] == "cie":
            if r["key"] in placed:
                continue
            placed[r["key"]] = here
            rec = bytearray(r["bytes"])
            field = r["personality_at"]
            if field is not None and r["key"][4]:
                struct.pack_into("<i", rec, field, r["key"][4] - (va + field))
            out += rec
        else:
            rec = bytearray(r["bytes"])
            cie_at = placed[r["cie"]["key"]]
            struct.pack_into("<I", rec, 4, here + 4 - cie_at)
            if r["begin"]:
                struct.pack_into("<i", rec, 8, r["begin"] - (va + 8))
            if r["lsda_field"] is not None and r["lsda"]:
                struct.pack_into("<i", rec, r["lsda_field"], r["lsda"] - (va + r["lsda_field"]))
            out += rec
    out += bytes(4)  # the zero length word that ends the walk

    # The check: the new records mean the same, and nothing else in memory moved.
    new_records, new_end = parse_records(bytes(out) + bytes(eh["vsize"] - len(out)), start, eh_va)
    if meaning(new_records) != meaning(records) or new_end != len(out) - 4:
        raise Refused("self-check failed: the new records differ")
    if len(out) > eh["vsize"]:
        raise Refused("self-check failed: the records grew")

    align = image.file_align
    new_raw = (len(out) + align - 1) // align * align
    shrink = eh["raw_size"] - new_raw
    if shrink <= 0:
        return bytes(image.data), 0
    d = image.data
    tail_at = eh["raw_at"] + eh["raw_size"]
    result = d[:eh["raw_at"]] + out + bytes(new_raw - len(out)) + d[tail_at:]
    struct.pack_into("<I", result, eh["header"] + 16, new_raw)
    for s in image.sections:
        if s["raw_at"] >= tail_at and s["raw_size"]:
            struct.pack_into("<I", result, s["header"] + 20, s["raw_at"] - shrink)
    initialized, = struct.unpack_from("<I", result, image.opt + 8)
    struct.pack_into("<I", result, image.opt + 8, initialized - shrink)
    struct.pack_into("<I", result, image.opt + 64, checksum(result, image.opt + 64))

    rewritten = Image(result)
    before = {name: (rva, mem) for name, rva, mem in image.memory()}
    after = {name: (rva, mem) for name, rva, mem in rewritten.memory()}
    for name, (rva, mem) in before.items():
        if name == eh["name"]:
            same = after[name][1][:start] == mem[:start] and after[name][1][len(out):] == bytes(len(mem) - len(out))
        else:
            same = after.get(name) == (rva, mem)
        if not same:
            raise Refused("self-check failed: section %s changed" % name)
    return bytes(result), shrink


def checksum(data, field):
    """The PE image checksum: 16-bit one's-complement-style sum of the file, field taken as zero."""
    total = 0
    padded = data + (b"\0" if len(data) % 2 else b"")
    words = struct.unpack("<%dH" % (len(padded) // 2), padded)
    for i, word in enumerate(words):
        if field // 2 <= i < field // 2 + 2:
            continue
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def main(argv):
    if len(argv) not in (2, 4) or (len(argv) == 4 and argv[2] != "--keep"):
        print(__doc__.strip().splitlines()[-2].strip(), file=sys.stderr)
        return 2
    path = argv[1]
    with open(path, "rb") as f:
        data = f.read()
    try:
        result, shrink = compact(data)
    except (Refused, IndexError, ValueError, struct.error) as error:
        print("compact-eh-frame: %s: %s" % (path, error), file=sys.stderr)
        return 1
    if len(argv) == 4:
        shutil.copyfile(path, argv[3])
    with open(path, "wb") as f:
        f.write(result)
    print("compact-eh-frame: %s: %d -> %d bytes" % (path, len(data), len(result)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
