// CScannerSettings_AV::ConvertXmlToSettings: the current-settings document into the three window
// descriptions (and the imprinter parameters when the unit has an imprinter).
//
// Every description is built in a temporary; the descriptions, their flags and the object's
// per-conversion flags change only when every conversion (and the imprinter conversion)
// succeeded, so a document that cannot be translated leaves the previous translation whole.
#include "foundation/func_trace.h"
#include "lowdrv/settings/settings_av.h"
#include "source_roles.h"
#include "store_read.h"

#include <memory>
#include <optional>
#include <vector>

namespace rzd::lowdrv {

namespace {

// The object's flags that a source conversion sets, kept to be put back after a failure.
struct ConversionFlags {
  uint8_t flatbed, staples, left, center, right;
};

}  // namespace

BOOL CScannerSettings_AV::ConvertXmlToSettings(std::u16string_view strCurrentSettings) {
  bool ok = false;
  CLogClient& log = AVLog();
  RZD_FUNC_TRACE_OF(log, u"ConvertXmlToSettings");
  RZD_TRACE_BOOL(&ok);

  MSXML6StoreBSTR store;
  store.SetLogObject2(GetLogHolder());
  if (!store.Initialize()) {
    RZD_LOG_ERROR_OF(log, u"ConvertXmlToSettings failed because MSXML6StoreBSTR.Initialize() failed");
    return FALSE;
  }
  if (!store.LoadFromString(strCurrentSettings)) {
    RZD_LOG_ERROR_OF(log, u"ConvertXmlToSettings failed to parse strCurrentSettings");
    return FALSE;
  }

  // The set document sources (the first three count), each with its place in the document.
  if (!store.SelectNode(u"//Item[@Name=\"DocumentSource\"][@IsSet=\"true\"]")) {
    RZD_LOG_ERROR_OF(log, u"ConvertXmlToSettings cannot find current DocumentSource");
    return FALSE;
  }
  std::vector<window::DocumentSourceInfo> sources;
  std::vector<bool> hasId;
  std::vector<std::unique_ptr<window::KeptContext>> places;
  do {
    const auto type = window::AttributeHere(store, u"Type");
    if (!type) {
      RZD_LOG_ERROR_OF(log, u"ConvertXmlToSettings cannot find DocumentSource type");
      return FALSE;
    }
    const auto id = window::AttributeHere(store, u"ID");
    if (sources.size() == 2 && !id) {
      RZD_LOG_ERROR_OF(log, u"ConvertXmlToSettings cannot find DocumentSource type");
      return FALSE;
    }
    sources.push_back({*type, id.value_or(u"")});
    hasId.push_back(id.has_value());
    places.push_back(std::make_unique<window::KeptContext>(store));
  } while (sources.size() < 3 && store.MoveToNextNode());

  const window::SourceRoles roles = window::AssignSourceRoles(sources);

  // Every description starts from the same fresh descriptor.
  ReduzidWindowDescriptor fresh{};
  fresh.VendorSP = 255;
  fresh.VSPLength = m_byVSPLength;

  const ConversionFlags before{m_bFlatbedSource, m_bStaplesDetect, m_byDFDSensorLeft, m_byDFDSensorCenter,
                               m_byDFDSensorRight};
  auto restoreFlags = [&] {
    m_bFlatbedSource = before.flatbed;
    m_bStaplesDetect = before.staples;
    m_byDFDSensorLeft = before.left;
    m_byDFDSensorCenter = before.center;
    m_byDFDSensorRight = before.right;
  };

  auto convert = [&](size_t index, RZDWindowDescription& d) -> bool {
    if (!hasId[index]) {
      RZD_LOG_ERROR_OF(log, u"ConvertXmlToSettings cannot find second image source type");
      return false;
    }
    d.Desc = fresh;
    places[index]->Restore();
    uint32_t front = 0, back = 0;
    if (!ConvertXmlToSettingsForSource(store, d.Desc, d.Gamma, d.Gamma2, d.Matrix, &front, &back)) return false;
    d.ImageSourceID = sources[index].id;
    d.FrontTruncLen = front;
    d.BackTruncLen = back;
    return true;
  };

  auto primary = std::make_unique<RZDWindowDescription>();
  auto alternate = std::make_unique<RZDWindowDescription>();
  auto third = std::make_unique<RZDWindowDescription>();
  alternate->Desc = fresh;
  third->Desc = fresh;
  const bool hasAlternate = roles.alternate.has_value();
  const bool hasThird = hasAlternate && roles.third.has_value();
  if (!convert(*roles.primary, *primary) || (hasAlternate && !convert(*roles.alternate, *alternate)) ||
      (hasThird && !convert(*roles.third, *third))) {
    restoreFlags();
    return FALSE;
  }

  // The imprinter parameters, with the store on the primary document source.
  if (m_pEngineLink != nullptr && m_pEngineLink->IsImprinterFitted()) {
    const RZDImprinterParam previous = m_ImprParam;
    places[*roles.primary]->Restore();
    if (!ConvertXmlToImprinterParam(store)) {
      m_ImprParam = previous;
      restoreFlags();
      return FALSE;
    }
  }

  m_Primary = std::move(*primary);
  m_Alternate = std::move(*alternate);
  m_Third = std::move(*third);
  m_bAlternateDefined = hasAlternate ? 1 : 0;
  m_bThirdDefined = hasThird ? 1 : 0;
  m_bAlternateSelected = 0;
  m_bThirdSelected = 0;
  ok = true;
  return TRUE;
}

}  // namespace rzd::lowdrv
