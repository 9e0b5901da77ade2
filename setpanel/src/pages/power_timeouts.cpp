// Page 0: the unit's three power time-outs (sleep, power off, USB off), shown from the
// information document and changed in the unit's current settings.
#include "../shell/module.h"
#include "interfaces/rzdhal_codes.h"
#include "foundation/system_queries.h"
#include "foundation/xml_store.h"
#include "platform/text.h"

#include <QCoreApplication>

namespace rzd::panel {

namespace {

struct Range {
  int minimum;
  int maximum;
  int step;
};

// The range node's attributes, or the defaults when the node is missing.
Range ReadRange(const std::u16string& supported, const char16_t* path, Range defaults) {
  MSXML6StoreSTL store;
  if (supported.empty() || !store.LoadFromString(supported) || !store.SelectNode(path)) return defaults;
  return Range{store.GetAttributeInt(u"Minimum", defaults.minimum), store.GetAttributeInt(u"Maximum", defaults.maximum),
               store.GetAttributeInt(u"Step", defaults.step)};
}

// The number a text holds; 0 for a text that is not a number (the special value "Never").
uint32_t CleanNumber(const QString& text) {
  bool ok = false;
  const uint32_t value = text.trimmed().toUInt(&ok);
  return ok ? value : 0;
}

// The spin box and the two buttons of a row.
struct RowControls {
  QSpinBox* box;
  QPushButton* set;
  QPushButton* reset;
};
RowControls ControlsOf(Ui::CHScannerQTModuleConfigPanel& ui, int row) {
  const RowControls rows[] = {
      {ui.m_spnScnrCfgTimeout, ui.m_btnScnrCfgTimeoutSet, ui.m_btnScnrCfgTimeoutReset},
      {ui.m_spnScnrCfgOffTimeout, ui.m_btnScnrCfgOffTimeoutSet, ui.m_btnScnrCfgOffTimeoutReset},
      {ui.m_spnScnrCfgERPTimeout, ui.m_btnScnrCfgERPTimeoutSet, ui.m_btnScnrCfgERPTimeoutReset}};
  return rows[row];
}

// The setting and reset paths of each row, in the current settings document.
const char16_t* SettingPath(int row) {
  static const char16_t* const kPaths[] = {u"//SleepTimeout/Range/Value", u"/.//HardwareSettings/OffTimeout/Range/Value",
                                           u"/.//HardwareSettings/ERPTimeout/Range/Value"};
  return kPaths[row];
}
const char16_t* ResetPath(int row) {
  static const char16_t* const kPaths[] = {u"//SleepTimeout/Range/Value", u"//./HardwareSettings/OffTimeout/Range/Value",
                                           u"//./HardwareSettings/ERPTimeout/Range/Value"};
  return kPaths[row];
}
}  // namespace

void CHScannerQTModule::FillTimeouts(const std::u16string& info) {
  Ui::CHScannerQTModuleConfigPanel& ui = *config_;
  MSXML6StoreSTL store;
  if (!store.LoadFromString(info)) return;
  const QString cannotAdjust = QCoreApplication::translate("CHScannerQTModule", "This value cannot be adjusted");
  const QString cannotSet = QCoreApplication::translate("CHScannerQTModule", "This value cannot be set");
  const QString cannotReset = QCoreApplication::translate("CHScannerQTModule", "This value cannot be reset");
  const QString never = QCoreApplication::translate("CHScannerQTModule", "Never");

  // Sleep.
  std::u16string sleepText;
  if (store.GetNodeText(u"/RZDScanner/PowerSaveTimeout", sleepText)) {
    const Range range = ReadRange(supported_, u"/.//HardwareSettings/SleepTimeout/Range/Value", Range{1, 60, 1});
    bool ok = false;
    int value = QString::fromStdU16String(sleepText).toInt(&ok);
    if (!ok) value = 15;
    ui.m_spnScnrCfgTimeout->setRange(range.minimum, range.maximum);
    ui.m_spnScnrCfgTimeout->setSingleStep(range.step);
    ui.m_spnScnrCfgTimeout->setSpecialValueText(range.minimum == 0 ? never : QString());
    ui.m_spnScnrCfgTimeout->setValue(value);
    ui.m_spnScnrCfgTimeout->setEnabled(true);
    ui.m_btnScnrCfgTimeoutSet->setEnabled(true);
    ui.m_btnScnrCfgTimeoutReset->setEnabled(true);
    ui.m_spnScnrCfgTimeout->setToolTip(
        QCoreApplication::translate("CHScannerQTModule", "Input the number of minutes you want the scanner to wait before it goes into sleep mode"));
    ui.m_btnScnrCfgTimeoutSet->setToolTip(QCoreApplication::translate("CHScannerQTModule", "Save any changes in the sleep mode field"));
    ui.m_btnScnrCfgTimeoutReset->setToolTip(QCoreApplication::translate("CHScannerQTModule", "Reset to the default sleep mode timeout"));
  } else {
    ui.m_spnScnrCfgTimeout->setEnabled(false);
    ui.m_btnScnrCfgTimeoutSet->setEnabled(false);
    ui.m_btnScnrCfgTimeoutReset->setEnabled(false);
    ui.m_spnScnrCfgTimeout->setToolTip(cannotAdjust);
    ui.m_btnScnrCfgTimeoutSet->setToolTip(cannotSet);
    ui.m_btnScnrCfgTimeoutReset->setToolTip(cannotReset);
  }

  // Power off and USB off: both take the power-off range.
  struct Row {
    const char16_t* node;
    QLabel* label;
    QSpinBox* box;
    QPushButton* set;
    QPushButton* reset;
  };
  const Row rows[] = {
      {u"/RZDScanner/PowerOffTimeout", ui.m_lblOffTimeout, ui.m_spnScnrCfgOffTimeout, ui.m_btnScnrCfgOffTimeoutSet,
       ui.m_btnScnrCfgOffTimeoutReset},
      {u"/RZDScanner/ERPTimeout", ui.m_lblERPTimeout, ui.m_spnScnrCfgERPTimeout, ui.m_btnScnrCfgERPTimeoutSet,
       ui.m_btnScnrCfgERPTimeoutReset}};
  const bool locked = IsDisablePowerOff();
  const Range offRange = ReadRange(supported_, u"/.//HardwareSettings/OffTimeout/Range/Value", Range{0, 4320, 1});
  for (const Row& row : rows) {
    std::u16string text;
    const bool present = store.GetNodeText(row.node, text);
    if (locked) {
      row.box->setSpecialValueText(QString());
      row.box->setMinimum(0);
      row.box->setValue(0);
      row.box->setEnabled(false);
      row.set->setEnabled(false);
      row.reset->setEnabled(false);
      row.box->setToolTip(cannotAdjust);
      row.set->setToolTip(cannotSet);
      row.reset->setToolTip(cannotReset);
      continue;
    }
    for (QWidget* w : std::initializer_list<QWidget*>{row.label, row.box, row.set, row.reset}) w->setVisible(present);
    if (!present) continue;
    bool ok = false;
    int value = QString::fromStdU16String(text).toInt(&ok);
    if (!ok) value = 0;
    const int minimum = offRange.minimum == 0 ? 14 : offRange.minimum <= 15 ? 15 : offRange.minimum;
    row.box->setRange(minimum, offRange.maximum);
    row.box->setSingleStep(offRange.step);
    row.box->setSpecialValueText(offRange.minimum == 0 ? never : QString());
    row.box->setValue(value);
    row.box->setEnabled(true);
    row.set->setEnabled(true);
    row.reset->setEnabled(true);
    row.box->setToolTip(QCoreApplication::translate("CHScannerQTModule", "Input the number of minutes you want the scanner to wait before it turns itself off"));
    row.set->setToolTip(QCoreApplication::translate("CHScannerQTModule", "Save any changes in the power off field"));
    row.reset->setToolTip(QCoreApplication::translate("CHScannerQTModule", "Reset to the default power off timeout"));
  }
  AlignSpinBoxes(ui.m_spnScnrCfgOffTimeout, ui.m_spnScnrCfgTimeout);
}

void CHScannerQTModule::SetTimeout(PowerRow row) {
  if (!config_) return;
  if (!hal_) {
    ShowNoConnection();
    return;
  }
  const int index = static_cast<int>(row);
  const RowControls controls = ControlsOf(*config_, index);
  controls.set->setEnabled(false);
  Bstr current;
  HRESULT answer = SendHALControl(RZDHAL_CC_GET_CURRENT, {}, current.Out(), nullptr, nullptr);
  bool changed = false;
  if (answer == S_OK) {
    MSXML6StoreSTL store;
    const uint32_t v = CleanNumber(controls.box->cleanText());
    const std::u16string value = FormatW(u"%u", v);
    if (store.LoadFromString(current.View()) && store.SelectNode(SettingPath(index)) && store.SetText(value)) {
      changed = true;
      if (row == PowerRow::Sleep) {
        // A power-off time below the new sleep time is raised to it ("Never" stays).
        if (store.SelectNode(u"//OffTimeout/Range/Value")) {
          const int32_t off = store.GetNodeInt(u"//OffTimeout/Range/Value", 0);
          if (off > 0 && static_cast<uint32_t>(off) < v) store.SetText(value);
        }
      } else if (v != 0 && store.SelectNode(u"//SleepTimeout/Range/Value")) {
        // A sleep time above the new power-off or USB-off time is lowered to it.
        std::u16string sleepText;
        store.GetText(sleepText);
        bool ok = false;
        const uint32_t sleep = QString::fromStdU16String(sleepText).toUInt(&ok);
        if (!ok || sleep > v) store.SetText(value);
      }
      std::u16string document;
      store.GetDocumentXML(document);
      Bstr out;
      answer = SendHALControl(RZDHAL_CC_SET_CURRENT, document, out.Out(), nullptr, nullptr);
    }
  }
  if (answer == kHalBusy) {
    ShowBusy();
  } else if (answer != S_OK || !changed) {
    ShowNoConnection();
  } else {
    GetScannerInfo();
  }
  emit moduleSettingsHaveChanged(this);
  controls.set->setEnabled(true);
}

void CHScannerQTModule::ResetTimeout(PowerRow row) {
  if (!config_) return;
  if (!hal_) {
    ShowNoConnection();
    return;
  }
  const int index = static_cast<int>(row);
  const RowControls controls = ControlsOf(*config_, index);
  controls.reset->setEnabled(false);
  Bstr current;
  const HRESULT answer = SendHALControl(RZDHAL_CC_GET_CURRENT, {}, current.Out(), nullptr, nullptr);
  if (answer != S_OK) {
    ShowAnswer(answer);
  } else {
    MSXML6StoreSTL store;
    int32_t defaultValue = -1;
    if (store.LoadFromString(current.View()) && store.SelectNode(ResetPath(index))) {
      defaultValue = store.GetAttributeInt(u"Default", -1);
    }
    if (defaultValue >= 0) {
      controls.box->setValue(defaultValue);
      SetTimeout(row);
    }
  }
  emit moduleSettingsHaveChanged(this);
  controls.reset->setEnabled(true);
}

void CHScannerQTModule::on_m_btnScnrCfgTimeoutSet_clicked() { SetTimeout(PowerRow::Sleep); }
void CHScannerQTModule::on_m_btnScnrCfgTimeoutReset_clicked() { ResetTimeout(PowerRow::Sleep); }
void CHScannerQTModule::on_m_btnScnrCfgOffTimeoutSet_clicked() { SetTimeout(PowerRow::Off); }
void CHScannerQTModule::on_m_btnScnrCfgOffTimeoutReset_clicked() { ResetTimeout(PowerRow::Off); }
void CHScannerQTModule::on_m_btnScnrCfgERPTimeoutSet_clicked() { SetTimeout(PowerRow::Erp); }
void CHScannerQTModule::on_m_btnScnrCfgERPTimeoutReset_clicked() { ResetTimeout(PowerRow::Erp); }

}  // namespace rzd::panel
