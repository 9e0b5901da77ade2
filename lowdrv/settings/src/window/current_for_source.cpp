// GetCurrentForSource (operation 24): the current-settings document handed to the page metadata.
// The engine family hands over a copy of the current document; the model hands over a set mono
// stream as the gray stream it is scanned with, and tells the metadata the threshold that turns
// the gray image into black and white.
#include "apply/xpath_literal.h"
#include "lowdrv/settings/m48tz_settings.h"
#include "platform/text.h"
#include "store_read.h"

namespace rzd::lowdrv {

namespace {

constexpr int32_t kDefaultBWThreshold = 128;

}  // namespace

BSTR CScannerSettings_AV::GetCurrentForSource(std::u16string_view /*documentSourceId*/,
                                              std::u16string_view /*imageSourceType*/,
                                              MSXML6StoreBSTR& /*callerStore*/) {
  return GetCurrent();
}

BSTR CM48tzScannerSettings::GetCurrentForSource(std::u16string_view documentSourceId,
                                                std::u16string_view imageSourceType, MSXML6StoreBSTR& callerStore) {
  const std::u16string imageSource = u"//Item[@Name='DocumentSource'][@ID=" + apply::XPathLiteral(documentSourceId) +
                                     u"]/.//Item[@Name='ImageSource'][@Type=" +
                                     apply::XPathLiteral(imageSourceType) + u"]";
  const std::u16string monoPath = imageSource + u"/.//Item[@Name='Stream'][@IsSet='true'][@Type='Mono']";
  const std::u16string grayPath = imageSource + u"/.//Item[@Name='Stream'][@Type='Gray']";

  // Is a mono stream of this side set in the supported document?
  {
    MSXML6StoreBSTR& supported = SupportedStore();
    window::KeptContext here(supported);
    const bool found = supported.SelectNode(monoPath);
    here.Restore();
    if (!found) return GetCurrent();
  }

  Bstr supportedXml;
  if (!SupportedStore().GetDocumentXML(supportedXml)) return GetCurrent();
  MSXML6StoreBSTR scratch;
  scratch.SetLogObject2(GetLogHolder());
  if (!scratch.LoadFromString(supportedXml.View()) || !scratch.SelectNode(monoPath)) return GetCurrent();

  // The mono stream's threshold, 128 when its value is missing or empty.
  if (!window::ExistsBelow(scratch, u".//ImageQuality/Threshold")) return GetCurrent();
  int32_t threshold = kDefaultBWThreshold;
  if (auto text = window::TextBelow(scratch, u".//ImageQuality/Threshold/Range/Value"); text && !text->empty())
    threshold = WToI(*text);

  if (!scratch.SetAttribute(u"IsSet", u"false") || !scratch.SelectNode(grayPath) ||
      !scratch.SetAttribute(u"IsSet", u"true"))
    return GetCurrent();

  // The scratch document reduced to its current items, as the current document itself is.
  if (!scratch.SelectRoot() || !RemoveNonCurrentItems(scratch)) return GetCurrent();
  while (scratch.SelectNode(u"//Limits")) {
    if (!scratch.RemoveContextNode()) break;
  }
  Bstr result;
  if (!scratch.GetDocumentXML(result)) return GetCurrent();

  window::KeptContext callerPlace(callerStore);
  if (callerStore.AddElement(u"ConvertToBWThreshold")) callerStore.SetText(FormatW(u"%d", threshold));
  callerPlace.Restore();
  return result.Detach();
}

}  // namespace rzd::lowdrv
