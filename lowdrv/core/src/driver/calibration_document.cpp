// The `RZDMaintenanceStatus` documents of the calibration.
#include "calibration.h"

#include "platform/text.h"
#include "xml_text.h"

namespace rzd::lowdrv::calibration {

namespace {

struct StatusTexts {
  const char16_t* status;
  const char16_t* statusText;
};

StatusTexts TextsOf(uint32_t code) {
  switch (code) {
    case status::kNotCalibrated: return {u"Not Calibrated", u"Not Calibrated"};
    case status::kCalibrated: return {u"Calibrated", u"Calibrated"};
    case status::kStarted: return {u"Calibration Started", u"Initializing calibration ..."};
    case status::kWaitingForTarget: return {u"Waiting For Calibration Target", u"Waiting for calibration target ..."};
    case status::kInProgress:
      return {u"Calibration In Progress", u"Waiting for scanner calibration to complete ..."};
    case status::kComplete: return {u"Calibration Complete", u"Calibration completed successfully"};
    case status::kCompleteWithError:
      return {u"Calibration Complete With Error",
              u"An error occurred during the calibration.\nPlease run the calibration again."};
    case status::kCanceled: return {u"Calibration Canceled", u"Calibration Canceled"};
    default: return {u"Undefined", u"Undefined Calibration Status"};
  }
}

}  // namespace

std::u16string StatusDocument(uint32_t code, uint32_t progress, uint32_t error, std::u16string_view errorText) {
  const StatusTexts texts = TextsOf(code);
  std::u16string doc = FormatW(u"<RZDMaintenanceStatus Code=\"%u\">\n", code);
  doc += u"<Status>" + std::u16string(texts.status) + u"</Status>\n";
  if (code == status::kCompleteWithError) {
    doc += FormatW(u"<ErrorCode>%u</ErrorCode>\n", error);
    doc += u"<ErrorDescription>" + XmlEscaped(errorText) + u"</ErrorDescription>\n";
  }
  if (code == status::kInProgress) doc += FormatW(u"<Progress>%u</Progress>\n", progress);
  doc += u"<StatusText>" + std::u16string(texts.statusText) + u"</StatusText>\n";
  doc += u"</RZDMaintenanceStatus>";
  return doc;
}

std::u16string StartDocument(std::u16string_view scannerName) {
  std::u16string doc = u"<RZDMaintenanceStatus Code=\"2\">";
  doc += u"<CancelAbility>Off</CancelAbility>\n";
  doc += u"<ScannerName>" + XmlEscaped(scannerName) + u"</ScannerName>\n";
  doc += u"<OperationText>Scanner Calibration</OperationText>\n";
  doc += u"<MaintenanceText>The scanner needs to be calibrated.\nThe calibration process has started automatically.\n"
         u"Calibration is finished when the status light is blue.</MaintenanceText>\n";
  doc += u"<StatusText>Waiting for scanner initialization to complete ...</StatusText>\n";
  doc += u"</RZDMaintenanceStatus>";
  return doc;
}

}  // namespace rzd::lowdrv::calibration
