// The rules a device description and the documents derived from it must keep. Each check gives a
// list of violations (empty: the document keeps the rule), so a test shows what broke.
#pragma once

#include "documents_fixture.h"

#include <cctype>
#include <string>
#include <vector>

namespace rzd::lowdrv::test {

// Which document a check looks at: the description as carried, the supported document after
// Reset, the current document after UpdateCurrent.
enum class DocKind { Resource, Supported, Current };

class DescriptionChecker {
 public:
  DescriptionChecker(std::u16string_view xml, DocKind kind) : doc_(xml), kind_(kind) {
    if (!doc_.Loaded()) violations_.push_back("the document does not parse");
  }

  std::vector<std::string> Run() {
    if (!doc_.Loaded()) return violations_;
    Settings();
    Structure();
    Streams();
    Texts();
    if (kind_ != DocKind::Current) SupportedOnly();
    if (kind_ == DocKind::Resource) ResourceOnly();
    if (kind_ == DocKind::Current) CurrentOnly();
    return violations_;
  }

  // A tone table: 256 tokens "0xHH", one space between them.
  static bool IsGammaText(std::u16string_view text) { return IsTokens(text, 256, 2); }
  // A matrix: 9 tokens "0xHHH", one space between them.
  static bool IsMatrixText(std::u16string_view text) { return IsTokens(text, 9, 3); }

 private:
  static bool IsTokens(std::u16string_view text, size_t count, size_t digits) {
    const size_t width = 2 + digits;
    if (text.size() != count * width + (count - 1)) return false;
    for (size_t i = 0; i < count; ++i) {
      std::u16string_view token = text.substr(i * (width + 1), width);
      if (token[0] != u'0' || token[1] != u'x') return false;
      for (size_t d = 2; d < width; ++d) {
        const char16_t c = token[d];
        if (!((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'))) return false;
      }
      if (i + 1 < count && text[i * (width + 1) + width] != u' ') return false;
    }
    return true;
  }

  // The path must select nothing.
  void None(std::u16string_view path, const char* rule) {
    const int n = doc_.Count(path);
    if (n != 0) violations_.push_back(std::string(rule) + " (" + std::to_string(n) + " at " + U8(path) + ")");
  }
  // The path must select something.
  void Some(std::u16string_view path, const char* rule) {
    if (!doc_.Has(path)) violations_.push_back(std::string(rule) + " (nothing at " + U8(path) + ")");
  }

  void Settings() {
    None(u"//Enum[count(Value[@IsCurrent='true']) != 1]", "an Enum has exactly one current value");
    // A client may make another value current, so the current document keeps only that one.
    if (kind_ != DocKind::Current)
      None(u"//Enum[count(Value[@IsDefault='true']) != 1]", "an Enum has exactly one default value");
    None(u"//Enum[count(*) != count(Value)]", "an Enum holds only Value elements");
    None(u"//Enum/Value[normalize-space(.)='']", "an Enum value has a text");
    None(u"//Enum/Value[@IsCurrent and @IsCurrent!='true']", "IsCurrent is only written as true");
    None(u"//Range[count(Value) != 1]", "a Range holds one Value");
    None(u"//Range/Value[not(@Minimum) or not(@Maximum) or not(@Step) or not(@Default)]",
         "a Range value has Minimum, Maximum, Step and Default");
    None(u"//Range/Value[normalize-space(.)='']", "a Range value has a text");
    None(u"//Range/Value[not(number(@Step) > 0)]", "a Range step is a number above zero");
    None(u"//Range/Value[not(number(@Minimum) <= number(@Maximum))]", "Minimum <= Maximum");
    None(u"//Range/Value[number(@Default) < number(@Minimum) or number(@Default) > number(@Maximum)]",
         "the Default lies in the range");
    None(u"//Range/Value[number(.) < number(@Minimum) or number(.) > number(@Maximum) or string(number(.))='NaN']",
         "the value lies in the range");
    None(u"//Frame[not(Top) or not(Left) or not(Width) or not(Length)]", "a Frame has Top, Left, Width, Length");
    None(u"//Frame/*[not(@Default) or not(@OverScan='Off' or @OverScan='On' or @OverScan='Auto')]",
         "a frame edge has Default and OverScan Off, On or Auto");
    None(u"//List/*[not(self::Item)]", "a List holds only Item elements");
    None(u"//*[@ModuleID]", "no element carries ModuleID");
  }

  void Structure() {
    const std::vector<std::u16string> top = doc_.Names(u"/Scanner/*");
    const std::vector<std::u16string> order = {u"Indicators", u"Buttons", u"DocumentSourceModes", u"SupportedLanguages",
                                               u"HardwareSettings", u"DocumentSourceSettingsMode", u"ColorCorrection",
                                               u"DocumentSources"};
    // Every top-level element present keeps the order; the description carries all of them.
    size_t at = 0;
    for (const std::u16string& name : top) {
      while (at < order.size() && order[at] != name) ++at;
      if (at == order.size()) {
        violations_.push_back("top-level element out of order or unknown: " + U8(name));
        break;
      }
    }
    if (doc_.Attr(u"/Scanner", u"Name") != u"Quarx M48tz") violations_.push_back("Scanner Name is Quarx M48tz");
    if (doc_.Text(u"/Scanner/SupportedLanguages") != u"REFIGSCT") violations_.push_back("SupportedLanguages REFIGSCT");

    Some(u"//Item[@Name='DocumentSource'][@ID='ADF'][@Type='ADF'][@IsSet='true']", "ADF is set");
    Some(u"//Item[@Name='ImageSource'][@ID='Front1'][@Type='Front'][@IsSet='true']", "Front1 is set");
    Some(u"//Item[@Name='ImageSource'][@ID='Back1'][@Type='Back'][@IsSet='true']", "Back1 is set");
    None(u"//Sensors[not(parent::Item[@Name='DocumentSource'])]", "Sensors is a child of the document-source item");
    None(u"//Sensors[not(List)]", "Sensors holds a List");
    None(u"//Item[@Name='Sensor'][not(@Usage)]", "a sensor item carries Usage");
    None(u"//Item[@Name='Sensor'][not(parent::List/parent::Sensors)]", "sensor items stand in Sensors/List");
    Some(u"//Item[@Name='DocumentSource'][@ID='ADF']/Sensors/List/Item[@Name='Sensor'][@ID='Ultrasonic'][@Type='DFD']"
         u"[@Usage='Setup'][IsEnabled/Enum][Action/Enum]",
         "Ultrasonic is a Setup sensor with IsEnabled and Action");
    None(u"//Limits[not(parent::Item[@Name='DocumentSource'])]", "Limits is a child of the document-source item");
    None(u"//Item[@Name='Stream'][not(Format) or not(Frame) or not(Resolutions/Enum) or not(ImageQuality)]",
         "a stream has Format, Frame, Resolutions and ImageQuality");
    None(u"//Item[@Name='Stream'][not(Format/@BitDepth = @BitDepth)]", "Format carries the stream's BitDepth");
    None(u"//Format[not(@BitDepth)]", "Format carries BitDepth");
    None(u"//Brightness[not(@DependsOnValue)] | //Contrast[not(@DependsOnValue)] | //GammaCorrection[not(@DependsOnValue)]",
         "tone settings carry DependsOnValue");
    for (const char16_t* setting : {u"Brightness", u"Contrast", u"GammaCorrection"}) {
      None(u"//ImageQuality[RGBChannel/Enum/Value[not(. = ../../../" + std::u16string(setting) + u"/@DependsOnValue)]]",
           "every channel has its Brightness, Contrast and GammaCorrection");
    }
    None(u"//Exposure[not(Red/Range) or not(Green/Range) or not(Blue/Range)]", "Exposure has Red, Green, Blue");
    None(u"//AutoCrop[not(@MaxDPI)] | //Straighten[not(@MaxDPI)]", "AutoCrop and Straighten carry MaxDPI");
    None(u"//Item[@Name='Button'][not(parent::List/parent::Buttons/parent::Scanner)]",
         "buttons stand at /Scanner/Buttons/List/Item");
    None(u"/Scanner/Buttons/List/Item[not(@Name='Button') or not(starts-with(@ID, 'Button')) or "
         u"string(number(substring(@ID, 7)))='NaN']",
         "a button's ID is Button and its number");
    None(u"//Item[@Name='Button'][starts-with(@Type, 'DFD')][not(@SubType='DFD3Button')]",
         "the DFD buttons carry SubType DFD3Button");
    None(u"//Item[@Name='Button'][not(Events/List/Item[@Name='Event'][@Type='Long' or @Type='Up'])]",
         "a button has its events");
    None(u"//Item[@Name='Indicator'][not(@Type='Segment')]", "indicators are segments");
    Some(u"/Scanner/HardwareSettings/DatOfFirstScan", "the first-scan date keeps its carried name DatOfFirstScan");
    None(u"//CompressionSubSampling", "CompressionSubSamping keeps its spelling");
  }

  void Streams() {
    const bool supported = kind_ != DocKind::Current;
    for (const char16_t* id : {u"Color1", u"Color2"}) {
      const std::u16string path = u"//Item[@Name='Stream'][@ID='" + std::u16string(id) + u"']";
      Some(path + u"[@Type='Color'][@BitDepth='24'][@IsSet='true'][@IsSetByDefault]", "colour streams are set by default");
      Some(path + u"/Format/CompressionSubSamping/Enum", "colour streams have CompressionSubSamping");
      Some(path + u"/ImageQuality/Gamma/EightBit[Red][Green][Blue]", "colour streams have three gamma tables");
    }
    if (supported) {
      for (const char16_t* id : {u"Gray1", u"Gray2", u"Mono1", u"Mono2"})
        Some(u"//Item[@Name='Stream'][@ID='" + std::u16string(id) + u"']", "gray and mono streams exist");
    }
    None(u"//Item[@Name='Stream'][@Type='Gray' or @Type='Mono'][@IsSet]", "gray and mono streams carry no IsSet");
    None(u"//Item[@Name='Stream'][@Type!='Color']/ImageQuality/Gamma/EightBit[not(Gray)]", "other streams have Gray");
    None(u"//Item[@Name='Stream'][@Type='Mono'][Format/JPEGTransfer or Format/CompressionRatio]",
         "mono streams have no JPEG settings");
    None(u"//Item[@Name='Stream'][@Type='Mono'][not(ImageQuality/Threshold/Range) or "
         u"not(ImageQuality/BitDepthReductions/Enum)]",
         "mono streams have Threshold and BitDepthReductions");
  }

  void Texts() {
    for (const std::u16string& t : doc_.Texts(u"//Gamma/EightBit/*")) {
      if (!IsGammaText(t)) violations_.push_back("a gamma table is 256 tokens 0xHH: " + U8(t.substr(0, 40)));
    }
    for (const std::u16string& t : doc_.Texts(u"//Matrix/TwelveBitMatrix")) {
      if (!IsMatrixText(t)) violations_.push_back("a matrix is 9 tokens 0xHHH: " + U8(t));
    }
  }

  void SupportedOnly() {
    Some(u"//Item[@Name='DocumentSource'][@ID='ADF']/Limits[Width='8500'][Length='14000'][LongLength='236000']"
         u"[MinWidth='2900'][MinLength='2000']",
         "the feeder's Limits");
    None(u"//Item[@Name='DocumentSource'][not(Limits)]", "every document source has Limits");
    Some(u"//Item[@Name='DocumentSource'][@ID='ADF']/Sensors/List/Item[@ID='PaperPresentADF'][@Type='Media'][@Usage='Poll']",
         "PaperPresentADF is a polled media sensor");
    Some(u"//Item[@Name='DocumentSource'][@ID='ADF']/Sensors/List/Item[@ID='Cover1'][@Type='Cover'][@Usage='Poll']",
         "Cover1 is a polled cover sensor");
    for (const char16_t* id : {u"Button2", u"Button3", u"Button9"})
      Some(u"/Scanner/Buttons/List/Item[@ID='" + std::u16string(id) + u"']", "the buttons");
    Some(u"/Scanner/Indicators/List/Item[@ID='Segment1']", "the segment indicator");
    // The description carries the imprinter; a supported document keeps it only for a unit with
    // one, and then as carried.
    const std::u16string imprinter =
        u"//Item[@Name='DocumentSource']/Imprinters/List/Item[not(@IsSet)][not(@IsSetByDefault)]"
        u"[PrinterEscString][CounterDigits/Range/Value][Cleaning/Enum][PrinterMode/Enum][TopOffset/Range]"
        u"[CounterStart/Range][Pages/Range][FontRotations/Enum][FontType/Enum][FontStyle/Enum]";
    if (kind_ == DocKind::Resource || doc_.Has(u"//Imprinters"))
      Some(imprinter, "an imprinter item, not set by default, with its settings");
    None(u"//Imprinters[not(parent::Item[@Name='DocumentSource'])] | //Imprinters[count(List/Item) != 1]",
         "one imprinter item, under the document source");
    Some(u"/Scanner/HardwareSettings/SleepTimeout/Range/Value", "SleepTimeout");
    Some(u"/Scanner/HardwareSettings/OffTimeout/Range/Value", "OffTimeout");
    Some(u"/Scanner/HardwareSettings/ERPTimeout/Range/Value", "ERPTimeout");
  }

  void ResourceOnly() {
    Some(u"/Scanner/HardwareSettings/SleepTimeout/Range/Value[@Minimum='5'][@Maximum='120'][@Step='1'][@Default='15'][.='15']",
         "SleepTimeout 5, 120, 1, 15, 15");
    Some(u"/Scanner/HardwareSettings/OffTimeout/Range/Value[@Minimum='0'][@Maximum='4320'][@Step='1'][@Default='0'][.='0']",
         "OffTimeout 0, 4320, 1, 0, 0");
    Some(u"/Scanner/HardwareSettings/ERPTimeout/Range/Value[@Minimum='0'][@Maximum='4320'][@Step='1'][@Default='15'][.='15']",
         "ERPTimeout 0, 4320, 1, 15, 15");
    const std::vector<std::u16string> hardware = doc_.Names(u"/Scanner/HardwareSettings/*");
    const std::vector<std::u16string> expected = {
        u"SleepTimeout",      u"OffTimeout",       u"ERPTimeout",         u"VendorName",        u"ModelID",
        u"ScannerModel",      u"SerialNumber",     u"FirmwareVersion",    u"DriverVersion",     u"TWAINDSVersion",
        u"DateOfManufacture", u"DatOfFirstScan",   u"ReverseRollerCount", u"RollerScanCount",   u"ADFSimplexCount",
        u"ADFDuplexCount",    u"ADFMultifeedCount", u"ADFJamCount",       u"FrontBackground",   u"BackBackground",
        u"CanUpdateFirmware", u"PowerSupply",      u"FrontPostImprinter"};
    if (hardware != expected) violations_.push_back("HardwareSettings children and their order");
    None(u"//DateOfFirstScan", "the description carries only DatOfFirstScan");
    const std::vector<std::u16string> ids = {
        u"Segment1", u"Button2", u"Button3", u"Button7", u"Button8", u"Button9", u"ADF", u"PaperPresentADF",
        u"Cover1", u"Ultrasonic", u"100", u"150", u"200", u"300", u"400", u"500", u"600", u"Front1", u"Back1",
        u"Color1", u"Gray1", u"Mono1", u"Color2", u"Gray2", u"Mono2"};
    for (const std::u16string& id : ids) Some(u"//Item[@ID='" + id + u"']", "the identifiers of the description");
    const std::vector<std::u16string> lengths = doc_.Texts(u"//Limits/LongLengthByDPI/List/Item[@Name='MaxLength']");
    const std::vector<std::u16string> expectedLengths = {u"236000", u"236000", u"236000", u"218000",
                                                         u"59000",  u"59000",  u"59000"};
    if (lengths != expectedLengths) violations_.push_back("the longest page per resolution");
    None(u"//LongLengthByDPI/List/Item[@ID != @Res or @Side!='All' or @Stream!='All']", "MaxLength items by resolution");
  }

  void CurrentOnly() {
    None(u"//Limits", "the current document has no Limits");
    None(u"//List/Item[not(@IsCurrent='true' or @Usage='Setup' or @IsSet='true')]",
         "the current document keeps only set, current or setup list items");
    None(u"//Enum[count(Value) != 1]", "the current document keeps one value per Enum");
  }

  Doc doc_;
  DocKind kind_;
  std::vector<std::string> violations_;
};

inline std::string JoinViolations(const std::vector<std::string>& v) {
  std::string all;
  for (const std::string& s : v) all += "\n  " + s;
  return all;
}

}  // namespace rzd::lowdrv::test
