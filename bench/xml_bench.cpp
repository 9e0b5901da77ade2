// Cost of the XML store paths the driver's settings lean on: loading a settings-sized device
// description and running the XPath selections its callers make, each followed by reading the
// selected node's text.
#include "foundation/xml_store.h"

#include <benchmark/benchmark.h>

#include <iterator>
#include <string>

namespace {

// A device description in the driver's shape: buttons, hardware settings, and document sources
// with image sources and streams carrying image-quality settings. `sources` document sources,
// each with a front and a back image source of three streams.
std::u16string SettingsDocument(int sources) {
  std::u16string d = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<Scanner Name=\"Quarx M48tz\">\r\n";
  d += u"  <Buttons xmlns=\"\"><List>\r\n";
  for (int b = 1; b <= 8; ++b) {
    const std::u16string n = std::u16string(1, static_cast<char16_t>(u'0' + b));
    d += u"    <Item Name=\"Button\" ID=\"Button" + n + u"\" Type=\"Simplex\" SubType=\"DFD" + n + u"Button\"/>\r\n";
  }
  d += u"  </List></Buttons>\r\n";
  d += u"  <HardwareSettings>\r\n"
       u"    <SleepTimeout><Range><Value Minimum=\"5\" Maximum=\"120\" Step=\"1\" Default=\"15\">15</Value></Range></SleepTimeout>\r\n"
       u"    <OffTimeout><Range><Value Minimum=\"0\" Maximum=\"4320\" Default=\"0\">0</Value></Range></OffTimeout>\r\n"
       u"    <VendorName>Corvanite</VendorName>\r\n"
       u"  </HardwareSettings>\r\n";
  d += u"  <DocumentSources xmlns=\"\"><List>\r\n";
  static const char16_t* const kSides[] = {u"Front", u"Back"};
  static const char16_t* const kStreams[] = {u"Color", u"Gray", u"Mono"};
  for (int s = 0; s < sources; ++s) {
    const std::u16string sid = s == 0 ? u"ADF" : u"Flatbed" + std::u16string(1, static_cast<char16_t>(u'0' + s));
    d += u"    <Item Name=\"DocumentSource\" ID=\"" + sid + u"\" Type=\"" + sid + u"\" IsSet=\"" +
         (s == 0 ? u"true" : u"false") + u"\">\r\n";
    d += u"      <Limits><Width>8500</Width><Height>14000</Height></Limits>\r\n";
    d += u"      <Paperweight><Enum><Value IsCurrent=\"true\">Off</Value><Value>On</Value></Enum></Paperweight>\r\n";
    d += u"      <ImageSources><List>\r\n";
    for (const char16_t* side : kSides) {
      d += u"        <Item Name=\"ImageSource\" ID=\"" + sid + side + u"\" Type=\"" + side + u"\" IsSet=\"true\">\r\n";
      d += u"          <Streams><List>\r\n";
      for (const char16_t* stream : kStreams) {
        d += u"            <Item Name=\"Stream\" ID=\"" + sid + side + stream + u"\" Type=\"" + stream +
             u"\" IsSet=\"true\">\r\n";
        d += u"              <ImageQuality ModuleID=\"Q1\">\r\n";
        static const char16_t* const kChannels[] = {u"Main", u"Red", u"Green", u"Blue"};
        for (const char16_t* channel : kChannels) {
          d += u"                <Brightness DependsOnValue=\"" + std::u16string(channel) +
               u"\"><Range><Value Minimum=\"0\" Maximum=\"255\" Default=\"128\">128</Value></Range></Brightness>\r\n";
          d += u"                <Contrast DependsOnValue=\"" + std::u16string(channel) +
               u"\"><Range><Value Minimum=\"0\" Maximum=\"255\" Default=\"128\">140</Value></Range></Contrast>\r\n";
        }
        d += u"              </ImageQuality>\r\n";
        d += u"              <BitDepthReductions><Enum><Value>Threshold</Value><Value IsCurrent=\"true\">Halftone</Value></Enum></BitDepthReductions>\r\n";
        d += u"            </Item>\r\n";
      }
      d += u"          </List></Streams>\r\n        </Item>\r\n";
    }
    d += u"      </List></ImageSources>\r\n    </Item>\r\n";
  }
  d += u"  </List></DocumentSources>\r\n</Scanner>\r\n";
  return d;
}

const std::u16string& Document() {
  static const std::u16string document = SettingsDocument(3);
  return document;
}

void BM_XmlLoad(benchmark::State& state) {
  rzd::MSXML6StoreSTL store;
  for (auto _ : state) {
    if (!store.LoadFromString(Document())) {
      state.SkipWithError("load failed");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Document().size() * 2));
  state.SetLabel(std::to_string(Document().size() * 2) + " bytes");
}
BENCHMARK(BM_XmlLoad);

// The selections callers make, each from the document.
const char16_t* const kPaths[] = {
    u"//Item[@Name=\"DocumentSource\"][@Type=\"ADF\"]",
    u"//Item[@Name='DocumentSource'][@ID='ADF']/.//Item[@Name='ImageSource'][@Type='Front']"
    u"/.//Item[@Name='Stream'][@IsSet='true'][@Type='Mono']",
    u"//Item[@SubType=\"DFD3Button\"]",
    u"/.//HardwareSettings/SleepTimeout/Range/Value",
    u"//Brightness[@DependsOnValue='Red']/Range/Value",
    u"/Scanner/DocumentSources/List/Item[@Name=\"DocumentSource\"]/ImageSources/List/Item[@Name=\"ImageSource\"]",
};

void BM_XmlSelectGetText(benchmark::State& state) {
  const char16_t* path = kPaths[state.range(0)];
  rzd::MSXML6StoreSTL store;
  if (!store.LoadFromString(Document())) {
    state.SkipWithError("load failed");
    return;
  }
  for (auto _ : state) {
    std::u16string text;
    if (!store.SelectNode(path) || !store.GetText(text)) {
      state.SkipWithError("selection failed");
      break;
    }
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_XmlSelectGetText)->DenseRange(0, static_cast<int>(std::size(kPaths)) - 1);

}  // namespace
