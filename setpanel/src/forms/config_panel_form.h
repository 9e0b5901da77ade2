// Form "CHScannerQTModuleConfigPanel": page 0 of the panel (device information, maintenance
// counters, the reminder switch, the firmware row and the power time-outs). Its texts are
// translated in the context of the form's name.
#pragma once

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QWidget>

namespace Ui {

class CHScannerQTModuleConfigPanel {
 public:
  // Builds the widgets into `form` (object names as the slots name them) and sets their texts.
  void setupUi(QWidget* form);
  void retranslateUi(QWidget* form);

  QLabel* m_lblModelPicture = nullptr;
  QLabel* m_lblFirmwareVersion = nullptr;
  QLabel* m_txtFirmwareVersion = nullptr;
  QLabel* m_lblSerialNumber = nullptr;
  QLabel* m_txtSerialNumber = nullptr;
  QLabel* m_lblLLDVersion = nullptr;
  QLabel* m_txtLLDVersion = nullptr;
  QLabel* m_lblDriverVersion = nullptr;
  QLabel* m_txtDriverVersion = nullptr;
  QLabel* m_lblFirstScan = nullptr;
  QLabel* m_txtFirstScan = nullptr;

  QGroupBox* m_grpMaintenance = nullptr;
  QLabel* m_lblCleanPicture = nullptr;
  QLabel* m_lblRollerCt = nullptr;
  QLineEdit* m_txtRollerCt = nullptr;
  QPushButton* m_btnScnrCfgRollerCtReset = nullptr;
  QLabel* m_lblSeparationCt = nullptr;
  QLineEdit* m_txtSeparationCt = nullptr;
  QPushButton* m_btnScnrCfgSeparationCtReset = nullptr;
  QLabel* m_lblCleanedCt = nullptr;
  QLineEdit* m_txtCleanedCt = nullptr;
  QPushButton* m_btnScnrCfgCleanedCtReset = nullptr;

  QGroupBox* m_grpScanHistory = nullptr;
  QLabel* m_lblScanHistorySimplex = nullptr;
  QLineEdit* m_txtScanHistorySimplex = nullptr;
  QPushButton* m_btnScnrCfgScanHistorySimplexReset = nullptr;
  QLabel* m_lblScanHistoryDuplex = nullptr;
  QLineEdit* m_txtScanHistoryDuplex = nullptr;
  QPushButton* m_btnScnrCfgScanHistoryDuplexReset = nullptr;
  QLabel* m_lblMultifeedCt = nullptr;
  QLineEdit* m_txtMultifeedCt = nullptr;
  QPushButton* m_btnScnrCfgMultifeedCtReset = nullptr;
  QLabel* m_lblJamCt = nullptr;
  QLineEdit* m_txtJamCt = nullptr;
  QPushButton* m_btnScnrCfgJamCtReset = nullptr;

  QCheckBox* m_chkScnrCfgMaintenance = nullptr;
  QCheckBox* m_chkFW = nullptr;
  QPushButton* m_btnUpdateFirmware = nullptr;

  QGroupBox* m_grpPower = nullptr;
  QLabel* m_lblTimeout = nullptr;
  QSpinBox* m_spnScnrCfgTimeout = nullptr;
  QPushButton* m_btnScnrCfgTimeoutSet = nullptr;
  QPushButton* m_btnScnrCfgTimeoutReset = nullptr;
  QLabel* m_lblOffTimeout = nullptr;
  QSpinBox* m_spnScnrCfgOffTimeout = nullptr;
  QPushButton* m_btnScnrCfgOffTimeoutSet = nullptr;
  QPushButton* m_btnScnrCfgOffTimeoutReset = nullptr;
  QLabel* m_lblERPTimeout = nullptr;
  QSpinBox* m_spnScnrCfgERPTimeout = nullptr;
  QPushButton* m_btnScnrCfgERPTimeoutSet = nullptr;
  QPushButton* m_btnScnrCfgERPTimeoutReset = nullptr;

  QLabel* m_lblHelp = nullptr;
};

}  // namespace Ui
