#!/usr/bin/env python3
"""Turns a file into a C++ source that registers its bytes as a resource of the module it is
linked into (see platform/resources.h and rzd_embed_resource in cmake/rzd.cmake)."""
import argparse
import os
import sys


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--input", required=True)
    parser.add_argument("--output", required=True)
    parser.add_argument("--type", required=True)
    parser.add_argument("--id", required=True, type=int)
    parser.add_argument("--symbol", required=True)
    parser.add_argument("--utf16-text", action="store_true",
                        help="the input is UTF-8 text: embed it as UTF-16LE after a byte-order mark")
    args = parser.parse_args()

    with open(args.input, "rb") as f:
        data = f.read()
    if args.utf16_text:
        text = data.decode("utf-8")
        if text.endswith("\n"):
            text = text[:-1]
        data = b"\xff\xfe" + text.encode("utf-16-le")
    if not data:
        sys.exit("embed_resource: %s is empty" % args.input)
    if not args.symbol.isidentifier():
        sys.exit("embed_resource: bad symbol %s" % args.symbol)
    rtype = args.type.replace("\\", "\\\\").replace('"', '\\"')

    lines = []
    for i in range(0, len(data), 16):
        lines.append("    " + ", ".join("0x%02X" % b for b in data[i:i + 16]) + ",")
    text = (
        "// Generated at build time from %s; do not edit.\n"
        '#include "platform/resources.h"\n\n'
        "namespace {\n"
        "alignas(8) const unsigned char kData[%d] = {\n%s\n};\n"
        'const rzd::ResourceRegistration kRegistration(kData, u"%s", %du, kData, sizeof kData);\n'
        "}  // namespace\n\n"
        "// Referenced so that a static library's copy is linked (and registered) wherever it is used.\n"
        'extern "C" unsigned long %s() { return sizeof kData; }\n'
    ) % (os.path.basename(args.input), len(data), "\n".join(lines), rtype, args.id, args.symbol)

    tmp = args.output + ".tmp"
    os.makedirs(os.path.dirname(os.path.abspath(args.output)), exist_ok=True)
    with open(tmp, "w", encoding="ascii", newline="\n") as f:
        f.write(text)
    os.replace(tmp, args.output)


if __name__ == "__main__":
    main()
