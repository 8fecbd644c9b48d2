#!/usr/bin/env python3
"""Writes the character tables of the workspace's display text as C++.

Run by CMake at build time, from the Unicode Character Database files of the
Debian package unicode-data:

    generate_unicode_tables.py DATA_DIR OUTPUT.inc

- bidirectional classes (extracted/DerivedBidiClass.txt, its @missing
  defaults included) as a two-stage table over all code points;
- mirrored glyphs (BidiMirroring.txt) and paired brackets (BidiBrackets.txt);
- Arabic joining types (ArabicShaping.txt; unlisted Mn, Me and Cf characters
  are transparent, as that file says);
- the presentation forms of Arabic letters and the lam-alef ligatures, from
  the <isolated>/<final>/<initial>/<medial> decompositions of UnicodeData.txt
  in U+FB50-U+FDFF and U+FE70-U+FEFF.
"""
import os
import sys

BIDI_CLASSES = ["L", "R", "AL", "EN", "ES", "ET", "AN", "CS", "NSM", "BN", "B", "S", "WS", "ON",
                "LRE", "LRO", "RLE", "RLO", "PDF", "LRI", "RLI", "FSI", "PDI"]
LONG_BIDI_NAMES = {
    "Left_To_Right": "L", "Right_To_Left": "R", "Arabic_Letter": "AL", "European_Terminator": "ET",
    "Boundary_Neutral": "BN",
}
JOINING_TYPES = ["U", "R", "L", "D", "C", "T"]
FORMS = ["isolated", "final", "initial", "medial"]
MAX_CODE_POINT = 0x10FFFF


def data_lines(path):
    with open(path, encoding="utf-8") as source:
        for raw in source:
            line = raw.split("#", 1)[0].strip()
            if line:
                yield [field.strip() for field in line.split(";")]


def code_range(text):
    first, _, last = text.partition("..")
    return int(first, 16), int(last or first, 16)


def bidi_classes(data_dir):
    path = os.path.join(data_dir, "extracted", "DerivedBidiClass.txt")
    classes = bytearray(MAX_CODE_POINT + 1)  # 0 is L, the overall default
    with open(path, encoding="utf-8") as source:
        for raw in source:
            if raw.startswith("# @missing:"):
                span, name = (field.strip() for field in raw[len("# @missing:"):].split(";"))
                first, last = code_range(span)
                classes[first:last + 1] = bytes([BIDI_CLASSES.index(LONG_BIDI_NAMES[name])]) * (last - first + 1)
    for fields in data_lines(path):
        first, last = code_range(fields[0])
        classes[first:last + 1] = bytes([BIDI_CLASSES.index(fields[1])]) * (last - first + 1)
    return classes


def unicode_data(data_dir):
    """(code point, general category, decomposition) for every assigned code point."""
    rows = []
    pending_first = None
    for fields in data_lines(os.path.join(data_dir, "UnicodeData.txt")):
        code = int(fields[0], 16)
        if fields[1].endswith(", First>"):
            pending_first = code
            continue
        if fields[1].endswith(", Last>") and pending_first is not None:
            rows.extend((c, fields[2], "") for c in range(pending_first, code + 1))
            pending_first = None
            continue
        rows.append((code, fields[2], fields[5]))
    return rows


def joining_types(data_dir, rows):
    types = {}
    for code, category, _ in rows:
        if category in ("Mn", "Me", "Cf"):
            types[code] = "T"
    for fields in data_lines(os.path.join(data_dir, "ArabicShaping.txt")):
        types[int(fields[0], 16)] = fields[2]
    ranges = []
    for code in sorted(types):
        kind = types[code]
        if kind == "U":
            continue
        if ranges and ranges[-1][1] == code - 1 and ranges[-1][2] == kind:
            ranges[-1][1] = code
        else:
            ranges.append([code, code, kind])
    return ranges


def presentation_forms(rows):
    """{base: {form: code point}} and {alef: {form: code point}} for lam-alef."""
    letters, lam_alef = {}, {}
    in_blocks = lambda code: 0xFB50 <= code <= 0xFDFF or 0xFE70 <= code <= 0xFEFF
    for code, _, decomposition in rows:
        if not in_blocks(code) or not decomposition.startswith("<"):
            continue
        tag, *parts = decomposition.split()
        form = tag.strip("<>")
        if form not in FORMS:
            continue
        bases = [int(part, 16) for part in parts]
        if len(bases) == 1:
            # Where both blocks carry a form, the one of Arabic Presentation
            # Forms-B (U+FE70-U+FEFF), the basic Arabic letters, is taken.
            known = letters.setdefault(bases[0], {})
            if form not in known or code >= 0xFE70:
                known[form] = code
        elif len(bases) == 2 and bases[0] == 0x0644 and 0xFE70 <= code <= 0xFEFF:
            lam_alef.setdefault(bases[1], {})[form] = code
    return letters, lam_alef


def two_stage(values, block_size=256):
    blocks, index, stage1 = [], {}, []
    for start in range(0, len(values), block_size):
        block = bytes(values[start:start + block_size])
        if block not in index:
            index[block] = len(blocks)
            blocks.append(block)
        stage1.append(index[block])
    return stage1, blocks


def c_array(kind, name, items, per_line=12):
    items = list(items)
    lines = [f"const {kind} {name}[] = {{"]
    for start in range(0, len(items), per_line):
        lines.append("    " + ", ".join(items[start:start + per_line]) + ",")
    lines.append("};")
    return "\n".join(lines)


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: generate_unicode_tables.py DATA_DIR OUTPUT.inc")
    data_dir, output = sys.argv[1], sys.argv[2]
    rows = unicode_data(data_dir)
    classes = bidi_classes(data_dir)
    stage1, blocks = two_stage(classes)

    mirrors = sorted((int(f[0], 16), int(f[1], 16)) for f in data_lines(os.path.join(data_dir, "BidiMirroring.txt")))
    brackets = sorted((int(f[0], 16), int(f[1], 16), f[2]) for f in data_lines(os.path.join(data_dir, "BidiBrackets.txt")))
    joining = joining_types(data_dir, rows)
    letters, lam_alef = presentation_forms(rows)

    hex32 = lambda value: f"0x{value:04X}"
    out = [
        "// Generated at build time by src/text/generate_unicode_tables.py from the",
        "// Unicode Character Database files of the package unicode-data. Do not edit.",
        f"constexpr unsigned kBidiBlockShift = 8;",
        c_array("std::uint16_t", "kBidiStage1", (str(i) for i in stage1), 24),
        c_array("std::uint8_t", "kBidiStage2", (str(v) for block in blocks for v in block), 32),
        c_array("CodePair", "kMirrors", (f"{{{hex32(a)}, {hex32(b)}}}" for a, b in mirrors), 6),
        c_array("Bracket", "kBrackets", (f"{{{hex32(a)}, {hex32(b)}, {'true' if t == 'o' else 'false'}}}"
                                          for a, b, t in brackets), 4),
        c_array("JoiningRange", "kJoiningRanges", (f"{{{hex32(a)}, {hex32(b)}, JoiningType::{t}}}"
                                                   for a, b, t in joining), 3),
        c_array("Forms", "kPresentationForms",
                (f"{{{hex32(base)}, {{{', '.join(hex32(forms.get(f, 0)) for f in FORMS)}}}}}"
                 for base, forms in sorted(letters.items())), 2),
        c_array("Forms", "kLamAlefLigatures",
                (f"{{{hex32(alef)}, {{{', '.join(hex32(forms.get(f, 0)) for f in FORMS)}}}}}"
                 for alef, forms in sorted(lam_alef.items())), 2),
        "",
    ]
    text = "\n".join(out)
    # Written only when changed, so a re-run does not rebuild what depends on it.
    if not os.path.exists(output) or open(output, encoding="utf-8").read() != text:
        with open(output, "w", encoding="utf-8") as target:
            target.write(text)


if __name__ == "__main__":
    main()
