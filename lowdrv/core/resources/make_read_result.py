#!/usr/bin/env python3
"""Makes the read-result template resource: the XML text with the model's USB identifiers filled
in, as UTF-16LE with a byte-order mark."""
import argparse
import os


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--input", required=True)
    parser.add_argument("--output", required=True)
    parser.add_argument("--vid", required=True)
    parser.add_argument("--pid", required=True)
    args = parser.parse_args()
    with open(args.input, encoding="utf-8") as f:
        text = f.read()
    text = text.replace("@USB_VID@", "%04X" % int(args.vid, 0)).replace("@USB_PID@", "%04X" % int(args.pid, 0))
    os.makedirs(os.path.dirname(os.path.abspath(args.output)), exist_ok=True)
    tmp = args.output + ".tmp"
    with open(tmp, "wb") as f:
        f.write(b"\xff\xfe" + text.encode("utf-16-le"))
    os.replace(tmp, args.output)


if __name__ == "__main__":
    main()
