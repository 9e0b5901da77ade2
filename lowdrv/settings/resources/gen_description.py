#!/usr/bin/env python3
"""Writes the device description of the M48tz (resource XML 110): the supported settings the
driver starts from before it adapts them to the unit. Output: UTF-16LE with the byte-order mark.

The repetitive parts (the six streams with their per-channel settings, the gamma lines, the
per-resolution length limits) are generated; everything else is written out here as it stands.
Run: gen_description.py --output <file> [--utf8] (--utf8 writes a readable UTF-8 copy)."""
import argparse
import os
from xml.sax.saxutils import escape, quoteattr

RESOLUTIONS = [100, 150, 200, 300, 400, 500, 600]
CURRENT_RESOLUTION = 300
# Longest page per resolution (thousandths of an inch).
MAX_LENGTH_BY_DPI = {100: 236000, 150: 236000, 200: 236000, 300: 218000, 400: 59000, 500: 59000, 600: 59000}

IDENTITY_MATRIX = "0x400 0x000 0x000 0x000 0x400 0x000 0x000 0x000 0x400"
LUMINANCE_MATRIX = " ".join(["0x12B 0x24B 0x072"] * 3)
LINEAR_GAMMA = " ".join("0x%02X" % i for i in range(256))


class Writer:
    def __init__(self):
        self.lines = []
        self.depth = 0

    @staticmethod
    def attrs(attributes):
        return "".join(" %s=%s" % (k, quoteattr(str(v))) for k, v in attributes)

    def open(self, name, *attributes):
        self.lines.append("  " * self.depth + "<%s%s>" % (name, self.attrs(attributes)))
        self.depth += 1

    def close(self, name):
        self.depth -= 1
        self.lines.append("  " * self.depth + "</%s>" % name)

    def empty(self, name, *attributes):
        self.lines.append("  " * self.depth + "<%s%s/>" % (name, self.attrs(attributes)))

    def text(self, name, value, *attributes):
        self.lines.append("  " * self.depth + "<%s%s>%s</%s>" % (name, self.attrs(attributes), escape(str(value)), name))

    def comment(self, value):
        self.lines.append("  " * self.depth + "<!-- %s -->" % value)

    # ---- The four kinds of setting.
    def enum(self, name, values, current, attributes=(), default=None):
        """An Enum setting: every value once, exactly one current and one default."""
        default = current if default is None else default
        assert current in values and default in values
        self.open(name, *attributes)
        self.open("Enum")
        for v in values:
            a = []
            if v == current:
                a.append(("IsCurrent", "true"))
            if v == default:
                a.append(("IsDefault", "true"))
            self.text("Value", v, *a)
        self.close("Enum")
        self.close(name)

    def range(self, name, minimum, maximum, step, default, value=None, attributes=()):
        value = default if value is None else value
        self.open(name, *attributes)
        self.open("Range")
        self.text("Value", value, ("Minimum", minimum), ("Maximum", maximum), ("Step", step), ("Default", default))
        self.close("Range")
        self.close(name)

    def frame(self, top, left, width, length):
        self.open("Frame", ("Scope", "DocumentSource"))
        for name, v in (("Top", top), ("Left", left), ("Width", width), ("Length", length)):
            self.text(name, v, ("Default", v), ("OverScan", "Auto"))
        self.close("Frame")


def buttons(w):
    w.comment("Keep ID name 'Button' + button number")
    w.open("Buttons", ("xmlns", ""))
    w.open("List")
    table = [
        ("Button2", "Simplex", None, [("Long1", "Long"), ("Short1", "Up")]),
        ("Button3", "Duplex", None, [("Long2", "Long"), ("Short2", "Up")]),
        ("Button7", "DFDIgnore", "DFD3Button", [("Short7", "Up"), ("Long7", "Long")]),
        ("Button8", "DFDStop", "DFD3Button", [("Short8", "Up"), ("Long8", "Long")]),
        ("Button9", "DFDRetry", "DFD3Button", [("Short9", "Up"), ("Long9", "Long")]),
    ]
    for ident, kind, subtype, events in table:
        a = [("Name", "Button"), ("ID", ident), ("Type", kind)]
        if subtype:
            a.append(("SubType", subtype))
        w.open("Item", *a)
        w.open("Events")
        w.open("List")
        for event, event_type in events:
            w.empty("Item", ("Name", "Event"), ("ID", event), ("Type", event_type))
        w.close("List")
        w.close("Events")
        w.close("Item")
    w.close("List")
    w.close("Buttons")


def hardware_settings(w):
    w.open("HardwareSettings")
    w.range("SleepTimeout", 5, 120, 1, 15)
    w.range("OffTimeout", 0, 4320, 1, 0)
    w.range("ERPTimeout", 0, 4320, 1, 15)
    w.text("VendorName", "Corvanite")
    w.text("ModelID", "M48tz")
    w.text("ScannerModel", "M48tz Scanner")
    for name in ("SerialNumber", "FirmwareVersion", "DriverVersion", "TWAINDSVersion"):
        w.text(name, "1.0")
    w.text("DateOfManufacture", "2010 12 28")
    w.text("DatOfFirstScan", "2010 12 28")
    for name in ("ReverseRollerCount", "RollerScanCount", "ADFSimplexCount", "ADFDuplexCount",
                 "ADFMultifeedCount", "ADFJamCount", "FrontBackground", "BackBackground", "CanUpdateFirmware"):
        w.text(name, 0)
    w.enum("PowerSupply", ["External"], "External")
    w.text("FrontPostImprinter", 0)
    w.close("HardwareSettings")


def sensors(w):
    w.open("Sensors", ("xmlns", ""))
    w.open("List")
    w.empty("Item", ("Name", "Sensor"), ("ID", "PaperPresentADF"), ("Type", "Media"), ("Usage", "Poll"))
    w.empty("Item", ("Name", "Sensor"), ("ID", "Cover1"), ("Type", "Cover"), ("Usage", "Poll"))
    w.open("Item", ("Name", "Sensor"), ("ID", "Ultrasonic"), ("Type", "DFD"), ("Usage", "Setup"))
    w.enum("IsEnabled", ["Off", "On"], "Off")
    w.enum("Action", ["Stop", "StopAndContinue", "None"], "StopAndContinue")
    w.close("Item")
    w.close("List")
    w.close("Sensors")


def limits(w):
    w.open("Limits")
    w.text("Width", 8500)
    w.text("Length", 14000)
    w.text("LongLength", 236000)
    w.text("MinWidth", 2900)
    w.text("MinLength", 2000)
    w.open("LongLengthByDPI")
    w.open("List")
    for res in RESOLUTIONS:
        w.text("Item", MAX_LENGTH_BY_DPI[res], ("Name", "MaxLength"), ("ID", res), ("Res", res), ("Side", "All"),
               ("Stream", "All"))
    w.close("List")
    w.close("LongLengthByDPI")
    w.close("Limits")


def imprinters(w):
    """The front post-imprinter: one list item, not set by default (no IsSet, no IsSetByDefault).
    The model's engine facts remove the whole element on a unit that reports no imprinter."""
    w.open("Imprinters")
    w.open("List")
    w.open("Item", ("Name", "Imprinter"), ("ID", "Imprinter1"), ("Type", "FrontPost"))
    w.text("PrinterEscString", "{#d/}{#t:}Batch {#0b}")
    w.enum("PrinterMode", ["0", "1"], "0")
    w.range("TopOffset", "0.0", "14.0", "0.1", "0.5")
    w.range("CounterStart", 0, 999999, 1, 1)
    w.range("Pages", 0, 1, 1, 0)
    w.enum("Cleaning", ["Off", "On"], "Off")
    w.enum("FontRotations", ["0", "90", "180", "270"], "0")
    w.enum("FontType", ["0", "1"], "0")
    w.enum("FontStyle", ["Proportional", "Fixed"], "Proportional")
    w.range("CounterDigits", 1, 9, 1, 4)
    w.close("Item")
    w.close("List")
    w.close("Imprinters")


def dependent_lists(w):
    w.open("LongDocDependent")
    w.open("List")
    for name in ("AutoCrop", "Straighten", "DiscardBlankPages", "BlankPageThreshold", "Rotations"):
        w.text("Item", "true", ("Name", name), ("ID", name))
    w.close("List")
    w.close("LongDocDependent")
    w.open("ResolutionDependent")
    w.open("List")
    for name in ("AutoCrop", "Straighten", "DiscardBlankPages", "BlankPageThreshold", "Rotations"):
        w.text("Item", "300", ("Name", name), ("ID", name))
    w.close("List")
    w.close("ResolutionDependent")


def stream(w, ident, kind, bit_depth, is_set):
    colour = kind == "Color"
    mono = kind == "Mono"
    a = [("Name", "Stream"), ("ID", ident), ("Type", kind), ("BitDepth", bit_depth)]
    if is_set:
        a += [("IsSet", "true"), ("IsSetByDefault", "true")]
    w.open("Item", *a)

    w.open("Format", ("BitDepth", bit_depth))
    w.enum("Pixels", ["RGB"] if colour else ["SingleChannel"], "RGB" if colour else "SingleChannel")
    if colour:
        w.enum("Interleaves", ["Pixel"], "Pixel")
    w.range("Alignments", 1, 1, 1, 1)
    w.enum("Compressions", ["None"] if mono else ["None", "JPG"], "None")
    if not mono:
        w.enum("JPEGTransfer", ["Off", "On"], "On", attributes=[("Scope", "DocumentSource")])
        w.range("CompressionRatio", 0, 100, 1, 1, value=80)
    if colour:
        w.enum("CompressionSubSamping", ["1", "2", "4"], "2")
    w.enum("LineOrders", ["TopDown"], "TopDown")
    w.enum("PixelOrders", ["LeftRight"], "LeftRight")
    w.enum("PixelGenders", ["BlackIsZero"], "BlackIsZero")
    w.enum("BitOrders", ["MSBFirst"], "MSBFirst")
    w.close("Format")

    w.frame(0, 0, 8500, 11000)
    w.enum("Resolutions", [str(r) for r in RESOLUTIONS], str(CURRENT_RESOLUTION), attributes=[("Scope", "DocumentSource")])

    w.open("ImageQuality")
    w.open("ResolutionDependent")
    w.open("List")
    w.text("Item", "300", ("Name", "Blur"), ("ID", "Blur"), ("MinDPI", 300))
    w.close("List")
    w.close("ResolutionDependent")
    w.enum("Blur", ["Off", "On"], "Off", attributes=[("MinDPI", 300)])
    w.range("BlurRadius", 1, 10, 1, 3)
    w.enum("TextEnhanced", ["Off", "On"], "Off")
    w.open("Matrix")
    w.text("TwelveBitMatrix", IDENTITY_MATRIX if colour else LUMINANCE_MATRIX)
    w.close("Matrix")
    w.open("Gamma")
    w.open("EightBit")
    for channel in (("Red", "Green", "Blue") if colour else ("Gray",)):
        w.text(channel, LINEAR_GAMMA)
    w.close("EightBit")
    w.close("Gamma")
    w.enum("Invert", ["Off"], "Off")
    w.enum("Mirror", ["Off"], "Off")
    channels = ["Main", "Red", "Green", "Blue"] if colour else ["Main"]
    w.enum("RGBChannel", channels, "Main")
    for channel in channels:
        w.range("Brightness", 1, 255, 1, 128, attributes=[("DependsOnValue", channel)])
        w.range("Contrast", 1, 255, 1, 128, attributes=[("DependsOnValue", channel)])
        w.range("GammaCorrection", "0.5", "4.0", "0.1", "1.0", attributes=[("DependsOnValue", channel)])
    w.enum("Filters", ["None"], "None")
    w.open("Exposure")
    for channel in ("Red", "Green", "Blue"):
        w.range(channel, 0, 65535, 1, 100)
    w.close("Exposure")
    w.range("Highlight", 0, 255, 1, 255)
    w.range("Shadow", 0, 255, 1, 0)
    w.range("WhiteLevel", 128, 255, 1, 235)
    w.enum("PredefinedWhiteLevels", ["Default", "ThickPaper", "RegularPaper", "ThinPaper", "Custom"], "ThinPaper")
    w.text("ThinPaperWhiteLevel", 235)
    w.text("ThickPaperWhiteLevel", 250)
    w.text("RegularPaperWhiteLevel", 242)
    w.range("BlackLevel", 0, 127, 1, 0)
    if mono:
        w.range("Threshold", 0, 255, 1, 102)
        w.enum("BitDepthReductions", ["Threshold"], "Threshold")
    w.enum("ImageFilters", ["None", "Blur", "Sharpen"], "None")
    w.range("FilterMask", 0, 15, 1, 7, value=0)
    w.close("ImageQuality")
    w.close("Item")


def image_source(w, ident, kind, number):
    w.open("Item", ("Name", "ImageSource"), ("ID", ident), ("Type", kind), ("IsSet", "true"),
           ("IsSetByDefault", "true"), ("Background", 255))
    dependent_lists(w)
    w.enum("StreamModes", ["SingleStream"], "SingleStream")
    w.enum("StreamSettingsMode", ["ClosestMatch"], "ClosestMatch")
    long_doc = [("MaxLenMils", 14000), ("MaxDPI", 300), ("DependsOnLongDoc", 1)]
    w.enum("AutoCrop", ["Off", "On"], "Off", attributes=long_doc)
    w.enum("DiscardBlankPages", ["Off", "On"], "Off", attributes=long_doc)
    w.range("BlankPageThreshold", 0, 100, 1, 20, attributes=long_doc)
    w.enum("Straighten", ["Off", "On"], "Off", attributes=long_doc)
    w.enum("Rotations", ["0", "90", "180", "270"], "0", attributes=long_doc)
    w.enum("AutoColor", ["Off"], "Off")
    w.open("Streams")
    w.open("List")
    stream(w, "Color%d" % number, "Color", 24, True)
    stream(w, "Gray%d" % number, "Gray", 8, False)
    stream(w, "Mono%d" % number, "Mono", 1, False)
    w.close("List")
    w.close("Streams")
    w.close("Item")


def document_sources(w):
    w.open("DocumentSources", ("xmlns", ""))
    w.open("List")
    w.open("Item", ("Name", "DocumentSource"), ("ID", "ADF"), ("Type", "ADF"), ("IsSet", "true"),
           ("IsSetByDefault", "true"), ("Priority", 1))
    sensors(w)
    w.enum("LengthDetection", ["On", "Off"], "On")
    w.enum("FeederType", ["General"], "General")
    w.enum("FeederAlignment", ["Center"], "Center")
    w.enum("LongLengthEnabled", ["Off", "On"], "Off")
    limits(w)
    w.open("OpticalResolution")
    w.text("OpticalXResolution", 600)
    w.text("OpticalYResolution", 600)
    w.close("OpticalResolution")
    w.enum("Formats", ["ReadInterleaveImage"], "ReadInterleaveImage")
    w.enum("OperatingModes", ["Continuous", "Single"], "Continuous")
    w.enum("ImageSourceSettingsMode", ["ClosestMatch"], "ClosestMatch")
    w.text("DuplexType", "SinglePass")
    w.open("AutoFeed")
    w.enum("IsEnabled", ["Off", "On"], "On")
    w.range("Timeout", 1, 255, 1, 30)
    w.close("AutoFeed")
    imprinters(w)
    w.open("ImageSources")
    w.open("List")
    image_source(w, "Front1", "Front", 1)
    image_source(w, "Back1", "Back", 2)
    w.close("List")
    w.close("ImageSources")
    w.close("Item")
    w.close("List")
    w.close("DocumentSources")


def description():
    w = Writer()
    w.open("Scanner", ("Name", "Quarx M48tz"))
    w.open("Indicators", ("xmlns", ""))
    w.open("List")
    w.empty("Item", ("Name", "Indicator"), ("ID", "Segment1"), ("Type", "Segment"))
    w.close("List")
    w.close("Indicators")
    buttons(w)
    w.enum("DocumentSourceModes", ["SingleSource"], "SingleSource", attributes=[("xmlns", "")])
    w.text("SupportedLanguages", "REFIGSCT")
    hardware_settings(w)
    w.enum("DocumentSourceSettingsMode", ["ClosestMatch"], "ClosestMatch")
    w.enum("ColorCorrection", ["None"], "None")
    document_sources(w)
    w.close("Scanner")
    assert w.depth == 0
    return "\r\n".join(w.lines) + "\r\n"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--output", required=True)
    parser.add_argument("--utf8", action="store_true")
    args = parser.parse_args()
    text = description()
    data = text.encode("utf-8") if args.utf8 else b"\xff\xfe" + text.encode("utf-16-le")
    os.makedirs(os.path.dirname(os.path.abspath(args.output)), exist_ok=True)
    tmp = args.output + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, args.output)


if __name__ == "__main__":
    main()
