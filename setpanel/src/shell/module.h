// CHScannerQTModule: the panel's page class and the plug-in's instance.
//
// As the plug-in (the default constructor, page key -1) it holds two CHPanel widgets, the
// configuration panel (page 0's form) and the document panel, and answers the four module
// interfaces. As a property page (page key 0, 1 or 2) it is the page itself: page 0 "Device
// settings", page 1 "Driver settings", page 2 "HW IP".
#pragma once

#include "../forms/config_panel_form.h"
#include "../forms/hwip_form.h"
#include "module_base.h"
#include "panel_widgets.h"

#include <QPointer>
#include <QProcess>
#include <QTimer>

#include <memory>
#include <optional>

class QMessageBox;

namespace rzd::panel {

// The maintenance limits of HWProps.ini [Counters].
struct MaintenanceLimits {
  int64_t maxFrictionRoller = 0;
  int64_t maxRoller = 0;
  int64_t maxClean = 0;
};

// The counters GetScannerInfo last read (absent until read).
struct CounterValues {
  std::optional<int64_t> roller;
  std::optional<int64_t> frictionRoller;
  std::optional<int64_t> clean;
};

class CHScannerQTModule : public CCHScannerQTModuleBase, public ICorModuleCfgPanel, public ICorModuleDocPanel {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID RZD_SETPANEL_PLUGIN_IID)
  Q_INTERFACES(ICorModuleBase ICorModuleScanner ICorModuleCfgPanel ICorModuleDocPanel)

 public:
  // The plug-in instance.
  CHScannerQTModule();
  // A property page: page `pageIndex` (0 to 2) inside `parent`.
  CHScannerQTModule(void* connector, QWidget* parent, void* hostData, int32_t pageIndex, HWPropChangedCallback changed);
  ~CHScannerQTModule() override;

  // ---- ICorModuleBase
  void setGuid(const QString& guid) override;
  void setModule_Instance(IDispatch* instance) override;
  int getModuleCount() override { return 1; }
  QStringList getModuleList() override { return moduleList_; }
  QString getModuleShortName() override;
  QPixmap* getImage(unsigned index) override;
  bool isModuleAvailable() override { return true; }
  void notifyChanged() override;
  void setModuleValue(int64_t value) override { moduleValue_ = value; }
  // ---- ICorModuleScanner
  QString getModuleFullName() override;
  QString getStyleSheet() override;
  QString getFontFileName() override;
  QString translateText(const QString& text) override { return text; }
  void releaseText(QString& text) override { text.clear(); }
  QWidget* getModuleUI() override { return nullptr; }
  QWidget* getAdvancedUI(AdvancedUIID) override { return nullptr; }
  // ---- ICorModuleCfgPanel
  QWidget* getCfgPanelUI(unsigned index) override;
  QString getCfgPanelTabName(unsigned index) override;
  // ---- ICorModuleDocPanel
  QWidget* getDocPanelUI(unsigned) override { return nullptr; }
  QString getDocPanelTabName(unsigned index) override { return getCfgPanelTabName(index); }

  QWidget* DialogParent() override;
  // The sheet's title: FriendlyName + " " + "Properties".
  QString PageTitle() const;
  // Whether the page has changes to apply.
  bool IsChanged() const { return pageChanged_; }

  // Page 0: reads the unit's information document and refreshes the page; false when it could
  // not be read.
  bool GetScannerInfo();
  // Page 0: the reminder box from HWProps.ini.
  void UpdateConfigSettings();
  // Page 2: the six switches from HWProps.ini.
  void UpdateHWIPSettings();
  // The widgets of page 0, 1 and 2 (null on pages that do not have them).
  Ui::CHScannerQTModuleConfigPanel* ConfigForm() const { return config_.get(); }
  Ui::CHScannerQTModuleConfigPanelHWIP* HwipForm() const { return hwip_.get(); }
  DriversConfigPage* DriversForm() const { return driversConfig_; }

 public slots:
  // Stores the changed values of the page; 1.
  int ApplyChanges();
  void slotOnLinkActivated(const QString& link);
  void onMaintenanceTimer1();

  // Page 0's handlers (connected by their names).
  void on_m_btnScnrCfgCleanedCtReset_clicked();
  void on_m_btnScnrCfgJamCtReset_clicked();
  void on_m_btnScnrCfgMultifeedCtReset_clicked();
  void on_m_btnScnrCfgRollerCtReset_clicked();
  void on_m_btnScnrCfgScanHistoryDuplexReset_clicked();
  void on_m_btnScnrCfgScanHistorySimplexReset_clicked();
  void on_m_btnScnrCfgSeparationCtReset_clicked();
  void on_m_btnScnrCfgTimeoutSet_clicked();
  void on_m_btnScnrCfgTimeoutReset_clicked();
  void on_m_btnScnrCfgOffTimeoutSet_clicked();
  void on_m_btnScnrCfgOffTimeoutReset_clicked();
  void on_m_btnScnrCfgERPTimeoutSet_clicked();
  void on_m_btnScnrCfgERPTimeoutReset_clicked();
  void on_m_btnUpdateFirmware_clicked();
  void on_m_chkFW_stateChanged(int state);
  void on_m_chkScnrCfgMaintenance_toggled(bool checked);
  // Page 2's switches.
  void OnHwipToggled(bool checked);

 private:
  enum class PowerRow { Sleep, Off, Erp };

  void InitVars();
  void BuildConfigForm(QWidget* root);
  // The plug-in's configuration panel is gone (with a host's window): page 0's form goes with it.
  void ForgetConfigForm();
  void BuildHwipForm(QWidget* root);
  void BuildDriversForm();
  void MarkChanged();
  void ResetCounter(const std::u16string& counter);
  void FillTimeouts(const std::u16string& info);
  void FillFirmwareRow(const std::u16string& firmware, const std::u16string& defaultFirmware);
  void ApplyRights();
  void StartReminderWhenDue();
  void SetTimeout(PowerRow row);
  void ResetTimeout(PowerRow row);
  void OnUpdaterFinished(int exitCode, QProcess::ExitStatus status);
  void ApplyHwip();

  // The plug-in's two panels. Guarded: a host that put one into its own window may delete it with
  // that window before the plug-in goes.
  QPointer<CHPanel> cfgPanel_;
  QPointer<CHPanel> docPanel_;
  std::unique_ptr<Ui::CHScannerQTModuleConfigPanel> config_;
  std::unique_ptr<Ui::CHScannerQTModuleConfigPanelHWIP> hwip_;
  QWidget* configRoot_ = nullptr;  // the widget page 0's form lives in
  bool firstShow_ = true;
  bool pageChanged_ = false;
  // The firmware check box holds the user's stored preference (read) or a choice of the user's;
  // until then Apply leaves the stored preference alone.
  bool firmwarePreferenceKnown_ = false;
  MaintenanceLimits limits_;
  CounterValues counters_;
  bool reminderDue_ = true;    // no reminder shown yet on this page
  bool reminderOpen_ = false;  // a reminder box is open
  QTimer maintenanceTimer_;
  std::u16string supported_;   // the supported-settings document of the last refresh
  QPointer<QProcess> updater_;  // the firmware updater while it runs
  QStringList moduleList_;
  int64_t moduleValue_ = 0;
};

}  // namespace rzd::panel
