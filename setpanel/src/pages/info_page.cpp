// Page 0: the unit's information, its maintenance counters with their resets and the
// maintenance reminder.
#include "../shell/module.h"
#include "interfaces/rzdhal_codes.h"
#include "../shell/window_blocking.h"
#include "foundation/func_trace.h"
#include "foundation/xml_store.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>

namespace rzd::panel {

namespace {

// The text of `path` when the node exists.
std::optional<QString> NodeText(MSXML6StoreSTL& store, const char16_t* path) {
  std::u16string text;
  if (!store.GetNodeText(path, text)) return std::nullopt;
  return QString::fromStdU16String(text);
}

std::optional<int64_t> NodeNumber(MSXML6StoreSTL& store, const char16_t* path) {
  const std::optional<QString> text = NodeText(store, path);
  if (!text) return std::nullopt;
  bool ok = false;
  const qlonglong value = text->toLongLong(&ok);
  return ok ? std::optional<int64_t>(value) : std::optional<int64_t>(0);
}
}  // namespace

bool CHScannerQTModule::GetScannerInfo() {
  bool read = false;
  RZD_FUNC_TRACE(u"CHScannerQTModule::GetScannerInfo");
  RZD_TRACE_BOOL(&read);
  if (hal_) {
    Bstr supported;
    if (SendHALControl(RZDHAL_CC_GET_SUPPORTED, {}, supported.Out(), nullptr, nullptr) == S_OK) {
      MSXML6StoreSTL check;
      if (check.LoadFromString(supported.View())) supported_ = supported.Str();
    }
    Bstr info;
    const HRESULT hr = SendHALControl(RZDHAL_CC_INFO, {}, info.Out(), nullptr, nullptr);
    MSXML6StoreSTL store;
    if (hr == S_OK && store.LoadFromString(info.View())) {
      read = true;
      if (config_) {
        struct Field {
          const char16_t* path;
          QWidget* widget;
        };
        const Field fields[] = {{u"/RZDScanner/SerialNumber", config_->m_txtSerialNumber},
                                {u"/RZDScanner/FirmwareVersion", config_->m_txtFirmwareVersion},
                                {u"/RZDScanner/DriverVersion", config_->m_txtDriverVersion},
                                {u"/RZDScanner/DateOfFirstScan", config_->m_txtFirstScan},
                                {u"/RZDScanner/TWAINDSVersion", config_->m_txtLLDVersion},
                                {u"/RZDScanner/RollerScanCount", config_->m_txtRollerCt},
                                {u"/RZDScanner/FrictionRollerCount", config_->m_txtSeparationCt},
                                {u"/RZDScanner/CleanCounter", config_->m_txtCleanedCt},
                                {u"/RZDScanner/ADFSimplexCount", config_->m_txtScanHistorySimplex},
                                {u"/RZDScanner/ADFDuplexCount", config_->m_txtScanHistoryDuplex},
                                {u"/RZDScanner/ADFMultifeedCount", config_->m_txtMultifeedCt},
                                {u"/RZDScanner/ADFJamCount", config_->m_txtJamCt}};
        for (const Field& field : fields) {
          const std::optional<QString> text = NodeText(store, field.path);
          if (!text) continue;
          if (auto* label = qobject_cast<QLabel*>(field.widget)) label->setText(*text);
          if (auto* box = qobject_cast<QLineEdit*>(field.widget)) box->setText(*text);
        }
        NodeText(store, u"/RZDScanner/DateOfManufacture");  // read, not shown
        if (auto v = NodeNumber(store, u"/RZDScanner/RollerScanCount")) counters_.roller = *v;
        if (auto v = NodeNumber(store, u"/RZDScanner/FrictionRollerCount")) counters_.frictionRoller = *v;
        if (auto v = NodeNumber(store, u"/RZDScanner/CleanCounter")) counters_.clean = *v;
        FillTimeouts(info.Str());
        const HwPropsFile file = HwProps();
        file.DeleteVirtualStoreCopy(LocalAppDataFolder());
        limits_.maxFrictionRoller = file.ReadInt(HwProp::MaxFrictionRollerCount);
        limits_.maxRoller = file.ReadInt(HwProp::MaxRollerCount);
        limits_.maxClean = file.ReadInt(HwProp::MaxCleanCount);
        FillFirmwareRow(NodeText(store, u"/RZDScanner/FirmwareVersion").value_or(QString()).toStdU16String(),
                        NodeText(store, u"/RZDScanner/DefaultFirmwareVersion").value_or(QString()).toStdU16String());
      }
    }
  }
  if (config_) {
    ApplyRights();
    if (read) StartReminderWhenDue();
  }
  return read;
}

void CHScannerQTModule::ApplyRights() {
  Ui::CHScannerQTModuleConfigPanel& ui = *config_;
  QPushButton* rollerResets[] = {ui.m_btnScnrCfgRollerCtReset, ui.m_btnScnrCfgSeparationCtReset};
  QPushButton* totalResets[] = {ui.m_btnScnrCfgScanHistorySimplexReset, ui.m_btnScnrCfgScanHistoryDuplexReset,
                                ui.m_btnScnrCfgMultifeedCtReset, ui.m_btnScnrCfgJamCtReset};
  if (IsRunningAsAdmin()) {
    for (QPushButton* b : rollerResets) {
      b->setEnabled(true);
      b->setToolTip(QCoreApplication::translate("CHScannerQTModule", "Reset the scan count back to 0 after the rollers have been replaced"));
    }
    ui.m_btnScnrCfgCleanedCtReset->setEnabled(true);
    ui.m_btnScnrCfgCleanedCtReset->setToolTip(QCoreApplication::translate("CHScannerQTModule", "Reset the scan count back to 0 after the rollers have been cleaned"));
    for (QPushButton* b : totalResets) {
      b->setEnabled(true);
      b->setToolTip(QCoreApplication::translate("CHScannerQTModule", "Reset the scan count to zero"));
    }
    ui.m_chkScnrCfgMaintenance->setEnabled(true);
    ui.m_chkScnrCfgMaintenance->setToolTip(QCoreApplication::translate("CHScannerQTModule", "Display a notification when it is time to clean or replace the rollers"));
    return;
  }
  const QString counterTip = QCoreApplication::translate("CHScannerQTModule", "You need administrative privileges to reset this counter");
  for (QPushButton* b : rollerResets) {
    b->setEnabled(false);
    b->setToolTip(counterTip);
  }
  ui.m_btnScnrCfgCleanedCtReset->setEnabled(false);
  ui.m_btnScnrCfgCleanedCtReset->setToolTip(counterTip);
  for (QPushButton* b : totalResets) {
    b->setEnabled(false);
    b->setToolTip(counterTip);
  }
  ui.m_chkScnrCfgMaintenance->setEnabled(false);
  ui.m_chkScnrCfgMaintenance->setToolTip(counterTip);
  ui.m_btnUpdateFirmware->setEnabled(false);
  ui.m_btnUpdateFirmware->setToolTip(QCoreApplication::translate("CHScannerQTModule", "You need administrative privileges to update scanner firmware"));
}

void CHScannerQTModule::UpdateConfigSettings() {
  if (!config_) return;
  const bool on = ReadSwitch(HwProp::MaintenanceWarning) == 1;
  const QSignalBlocker quiet(config_->m_chkScnrCfgMaintenance);
  config_->m_chkScnrCfgMaintenance->setChecked(on);
}

void CHScannerQTModule::StartReminderWhenDue() {
  if (!reminderDue_ || !config_->m_chkScnrCfgMaintenance->isChecked() || maintenanceTimer_.isActive()) return;
  const bool roller = counters_.roller && *counters_.roller >= limits_.maxRoller;
  const bool friction = counters_.frictionRoller && *counters_.frictionRoller >= limits_.maxFrictionRoller;
  const bool clean = counters_.clean && *counters_.clean >= limits_.maxClean;
  if (roller || friction || clean) maintenanceTimer_.start();
}

void CHScannerQTModule::onMaintenanceTimer1() {
  if (!config_ || !configRoot_->isVisible() || reminderOpen_) return;
  reminderOpen_ = true;
  const bool cleanDue = counters_.clean && *counters_.clean >= limits_.maxClean;
  const bool rollerDue = counters_.roller && *counters_.roller >= limits_.maxRoller;
  const bool frictionDue = counters_.frictionRoller && *counters_.frictionRoller >= limits_.maxFrictionRoller;
  // Guarded: the box is a child of the panel, which a host may delete while the box runs.
  const QPointer<CHScannerQTModule> self(this);
  const QPointer<QMessageBox> box = new QMessageBox(DialogParent());
  box->setIcon(QMessageBox::Information);
  box->setStandardButtons(QMessageBox::Ok);
  const QString replaceText = QCoreApplication::translate("CHScannerQTModule", "After you have replaced the rollers, click the reset button next to the \"%1\" counter to reset the roller "
      "scan count back to 0. This message will no longer be displayed after you click the reset button.");
  if (!cleanDue) {
    box->setWindowTitle(QCoreApplication::translate("CHScannerQTModule", "The rollers need to be replaced"));
    const QLabel* label = rollerDue ? config_->m_lblRollerCt : config_->m_lblSeparationCt;
    box->setText(replaceText.arg(label->text()));
  } else {
    box->setWindowTitle(QCoreApplication::translate("CHScannerQTModule", "The rollers need to be cleaned"));
    box->setText(QCoreApplication::translate("CHScannerQTModule", "After you have cleaned the rollers, click the reset button next to the \"%1\" counter to reset "
                      "the roller scan count back to 0. This message will no longer be displayed after you click the "
                      "reset button.")
                     .arg(config_->m_lblCleanedCt->text()));
  }
  if (IsPropertyPage()) box->setWindowFlag(Qt::WindowStaysOnTopHint, true);
  FixQTCrash();
  box->exec();
  if (self == nullptr) return;
  if (box != nullptr && config_ && !cleanDue && rollerDue && frictionDue) {
    box->setText(replaceText.arg(config_->m_lblSeparationCt->text()));
    box->exec();
    if (self == nullptr) return;
  }
  delete box.data();
  reminderDue_ = false;
  reminderOpen_ = false;
}

void CHScannerQTModule::on_m_chkScnrCfgMaintenance_toggled(bool) { MarkChanged(); }

void CHScannerQTModule::ResetCounter(const std::u16string& counter) {
  // The counter shows its new value at once when the unit took the reset.
  if (ResetButton(counter)) GetScannerInfo();
  emit moduleSettingsHaveChanged(this);
}

void CHScannerQTModule::on_m_btnScnrCfgCleanedCtReset_clicked() { ResetCounter(u"CleanCounter"); }
void CHScannerQTModule::on_m_btnScnrCfgJamCtReset_clicked() { ResetCounter(u"ADFJamCount"); }
void CHScannerQTModule::on_m_btnScnrCfgMultifeedCtReset_clicked() { ResetCounter(u"ADFMultifeedCount"); }
void CHScannerQTModule::on_m_btnScnrCfgRollerCtReset_clicked() { ResetCounter(u"RollerScanCount"); }
void CHScannerQTModule::on_m_btnScnrCfgScanHistoryDuplexReset_clicked() { ResetCounter(u"ADFDuplexCount"); }
void CHScannerQTModule::on_m_btnScnrCfgScanHistorySimplexReset_clicked() { ResetCounter(u"ADFSimplexCount"); }
void CHScannerQTModule::on_m_btnScnrCfgSeparationCtReset_clicked() { ResetCounter(u"FrictionRollerCount"); }

}  // namespace rzd::panel
