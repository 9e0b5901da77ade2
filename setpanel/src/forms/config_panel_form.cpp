#include "config_panel_form.h"

#include "form_parts.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace Ui {

namespace {
using rzd::panel::CounterBox;
using rzd::panel::Named;
using rzd::panel::RowButton;
using rzd::panel::ValueLabel;

QSpinBox* MinutesBox(QWidget* parent, const char* name) {
  QSpinBox* box = Named<QSpinBox>(parent, name);
  box->setMinimumWidth(150);
  box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  box->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
  return box;
}
}  // namespace

void CHScannerQTModuleConfigPanel::setupUi(QWidget* form) {
  if (form->objectName().isEmpty()) form->setObjectName(QStringLiteral("CHScannerQTModuleConfigPanel"));
  auto* page = new QVBoxLayout(form);
  page->setContentsMargins(10, 10, 10, 10);
  page->setSpacing(8);

  // The unit: its picture beside who it is.
  auto* head = new QHBoxLayout();
  m_lblModelPicture = rzd::panel::PictureLabel(form, "m_lblModelPicture", QStringLiteral(":/images/M48tz.png"), 96);
  head->addWidget(m_lblModelPicture);
  auto* info = new QGridLayout();
  info->setHorizontalSpacing(12);
  info->setVerticalSpacing(4);
  m_lblFirmwareVersion = Named<QLabel>(form, "m_lblFirmwareVersion");
  m_txtFirmwareVersion = ValueLabel(form, "m_txtFirmwareVersion");
  m_lblSerialNumber = Named<QLabel>(form, "m_lblSerialNumber");
  m_txtSerialNumber = ValueLabel(form, "m_txtSerialNumber");
  m_lblLLDVersion = Named<QLabel>(form, "m_lblLLDVersion");
  m_txtLLDVersion = ValueLabel(form, "m_txtLLDVersion");
  m_lblDriverVersion = Named<QLabel>(form, "m_lblDriverVersion");
  m_txtDriverVersion = ValueLabel(form, "m_txtDriverVersion");
  m_lblFirstScan = Named<QLabel>(form, "m_lblFirstScan");
  m_txtFirstScan = ValueLabel(form, "m_txtFirstScan");
  QLabel* rows[][2] = {{m_lblFirmwareVersion, m_txtFirmwareVersion},
                       {m_lblSerialNumber, m_txtSerialNumber},
                       {m_lblLLDVersion, m_txtLLDVersion},
                       {m_lblDriverVersion, m_txtDriverVersion},
                       {m_lblFirstScan, m_txtFirstScan}};
  int row = 0;
  for (auto& pair : rows) {
    info->addWidget(pair[0], row, 0);
    info->addWidget(pair[1], row, 1);
    ++row;
  }
  info->setColumnStretch(1, 1);
  head->addLayout(info, 1);
  page->addLayout(head);

  // Maintenance counters with their resets.
  m_grpMaintenance = Named<QGroupBox>(form, "m_grpMaintenance");
  auto* maintenance = new QHBoxLayout(m_grpMaintenance);
  m_lblCleanPicture = rzd::panel::PictureLabel(m_grpMaintenance, "m_lblCleanPicture",
                                               QStringLiteral(":/images/CleanScanner.png"), 56);
  maintenance->addWidget(m_lblCleanPicture, 0, Qt::AlignTop);
  auto* counters = new QGridLayout();
  counters->setVerticalSpacing(4);
  m_lblRollerCt = Named<QLabel>(m_grpMaintenance, "m_lblRollerCt");
  m_txtRollerCt = CounterBox(m_grpMaintenance, "m_txtRollerCt");
  m_btnScnrCfgRollerCtReset = RowButton(m_grpMaintenance, "m_btnScnrCfgRollerCtReset");
  m_lblSeparationCt = Named<QLabel>(m_grpMaintenance, "m_lblSeparationCt");
  m_txtSeparationCt = CounterBox(m_grpMaintenance, "m_txtSeparationCt");
  m_btnScnrCfgSeparationCtReset = RowButton(m_grpMaintenance, "m_btnScnrCfgSeparationCtReset");
  m_lblCleanedCt = Named<QLabel>(m_grpMaintenance, "m_lblCleanedCt");
  m_txtCleanedCt = CounterBox(m_grpMaintenance, "m_txtCleanedCt");
  m_btnScnrCfgCleanedCtReset = RowButton(m_grpMaintenance, "m_btnScnrCfgCleanedCtReset");
  struct CounterRow {
    QLabel* label;
    QLineEdit* box;
    QPushButton* reset;
  };
  const CounterRow counterRows[] = {{m_lblRollerCt, m_txtRollerCt, m_btnScnrCfgRollerCtReset},
                                    {m_lblSeparationCt, m_txtSeparationCt, m_btnScnrCfgSeparationCtReset},
                                    {m_lblCleanedCt, m_txtCleanedCt, m_btnScnrCfgCleanedCtReset}};
  row = 0;
  for (const CounterRow& r : counterRows) {
    counters->addWidget(r.label, row, 0);
    counters->addWidget(r.box, row, 1);
    counters->addWidget(r.reset, row, 2);
    ++row;
  }

  // Page totals, a group inside the maintenance group.
  m_grpScanHistory = Named<QGroupBox>(m_grpMaintenance, "m_grpScanHistory");
  auto* history = new QGridLayout(m_grpScanHistory);
  history->setVerticalSpacing(4);
  m_lblScanHistorySimplex = Named<QLabel>(m_grpScanHistory, "m_lblScanHistorySimplex");
  m_txtScanHistorySimplex = CounterBox(m_grpScanHistory, "m_txtScanHistorySimplex");
  m_btnScnrCfgScanHistorySimplexReset = RowButton(m_grpScanHistory, "m_btnScnrCfgScanHistorySimplexReset");
  m_lblScanHistoryDuplex = Named<QLabel>(m_grpScanHistory, "m_lblScanHistoryDuplex");
  m_txtScanHistoryDuplex = CounterBox(m_grpScanHistory, "m_txtScanHistoryDuplex");
  m_btnScnrCfgScanHistoryDuplexReset = RowButton(m_grpScanHistory, "m_btnScnrCfgScanHistoryDuplexReset");
  m_lblMultifeedCt = Named<QLabel>(m_grpScanHistory, "m_lblMultifeedCt");
  m_txtMultifeedCt = CounterBox(m_grpScanHistory, "m_txtMultifeedCt");
  m_btnScnrCfgMultifeedCtReset = RowButton(m_grpScanHistory, "m_btnScnrCfgMultifeedCtReset");
  m_lblJamCt = Named<QLabel>(m_grpScanHistory, "m_lblJamCt");
  m_txtJamCt = CounterBox(m_grpScanHistory, "m_txtJamCt");
  m_btnScnrCfgJamCtReset = RowButton(m_grpScanHistory, "m_btnScnrCfgJamCtReset");
  const CounterRow historyRows[] = {
      {m_lblScanHistorySimplex, m_txtScanHistorySimplex, m_btnScnrCfgScanHistorySimplexReset},
      {m_lblScanHistoryDuplex, m_txtScanHistoryDuplex, m_btnScnrCfgScanHistoryDuplexReset},
      {m_lblMultifeedCt, m_txtMultifeedCt, m_btnScnrCfgMultifeedCtReset},
      {m_lblJamCt, m_txtJamCt, m_btnScnrCfgJamCtReset}};
  row = 0;
  for (const CounterRow& r : historyRows) {
    history->addWidget(r.label, row, 0);
    history->addWidget(r.box, row, 1);
    history->addWidget(r.reset, row, 2);
    ++row;
  }
  history->setColumnStretch(0, 1);
  counters->addWidget(m_grpScanHistory, 3, 0, 1, 3);
  m_chkScnrCfgMaintenance = Named<QCheckBox>(m_grpMaintenance, "m_chkScnrCfgMaintenance");
  counters->addWidget(m_chkScnrCfgMaintenance, 4, 0, 1, 3);
  counters->setColumnStretch(0, 1);
  maintenance->addLayout(counters, 1);
  page->addWidget(m_grpMaintenance);

  // Firmware row.
  auto* firmware = new QHBoxLayout();
  m_chkFW = Named<QCheckBox>(form, "m_chkFW");
  m_btnUpdateFirmware = RowButton(form, "m_btnUpdateFirmware");
  firmware->addWidget(m_chkFW, 1);
  firmware->addWidget(m_btnUpdateFirmware);
  page->addLayout(firmware);

  // Power time-outs.
  m_grpPower = Named<QGroupBox>(form, "m_grpPower");
  auto* power = new QGridLayout(m_grpPower);
  power->setVerticalSpacing(4);
  m_lblTimeout = Named<QLabel>(m_grpPower, "m_lblTimeout");
  m_spnScnrCfgTimeout = MinutesBox(m_grpPower, "m_spnScnrCfgTimeout");
  m_btnScnrCfgTimeoutSet = RowButton(m_grpPower, "m_btnScnrCfgTimeoutSet");
  m_btnScnrCfgTimeoutReset = RowButton(m_grpPower, "m_btnScnrCfgTimeoutReset");
  m_lblOffTimeout = Named<QLabel>(m_grpPower, "m_lblOffTimeout");
  m_spnScnrCfgOffTimeout = MinutesBox(m_grpPower, "m_spnScnrCfgOffTimeout");
  m_btnScnrCfgOffTimeoutSet = RowButton(m_grpPower, "m_btnScnrCfgOffTimeoutSet");
  m_btnScnrCfgOffTimeoutReset = RowButton(m_grpPower, "m_btnScnrCfgOffTimeoutReset");
  m_lblERPTimeout = Named<QLabel>(m_grpPower, "m_lblERPTimeout");
  m_spnScnrCfgERPTimeout = MinutesBox(m_grpPower, "m_spnScnrCfgERPTimeout");
  m_btnScnrCfgERPTimeoutSet = RowButton(m_grpPower, "m_btnScnrCfgERPTimeoutSet");
  m_btnScnrCfgERPTimeoutReset = RowButton(m_grpPower, "m_btnScnrCfgERPTimeoutReset");
  struct PowerRow {
    QLabel* label;
    QSpinBox* box;
    QPushButton* set;
    QPushButton* reset;
  };
  const PowerRow powerRows[] = {
      {m_lblTimeout, m_spnScnrCfgTimeout, m_btnScnrCfgTimeoutSet, m_btnScnrCfgTimeoutReset},
      {m_lblOffTimeout, m_spnScnrCfgOffTimeout, m_btnScnrCfgOffTimeoutSet, m_btnScnrCfgOffTimeoutReset},
      {m_lblERPTimeout, m_spnScnrCfgERPTimeout, m_btnScnrCfgERPTimeoutSet, m_btnScnrCfgERPTimeoutReset}};
  row = 0;
  for (const PowerRow& r : powerRows) {
    r.label->setBuddy(r.box);
    power->addWidget(r.label, row, 0);
    power->addWidget(r.box, row, 1);
    power->addWidget(r.set, row, 2);
    power->addWidget(r.reset, row, 3);
    ++row;
  }
  power->setColumnStretch(0, 1);
  page->addWidget(m_grpPower);

  m_lblHelp = Named<QLabel>(form, "m_lblHelp");
  m_lblHelp->setTextFormat(Qt::RichText);
  m_lblHelp->setAlignment(Qt::AlignRight);
  page->addWidget(m_lblHelp);
  page->addStretch(1);

  retranslateUi(form);
}

void CHScannerQTModuleConfigPanel::retranslateUi(QWidget* form) {
  form->setWindowTitle(QCoreApplication::translate("CHScannerQTModuleConfigPanel", "Device settings"));
  m_lblFirmwareVersion->setText(QCoreApplication::translate("CHScannerQTModuleConfigPanel", "Firmware version:"));
  m_lblSerialNumber->setText(QCoreApplication::translate("CHScannerQTModuleConfigPanel", "Serial number:"));
  m_lblLLDVersion->setText(QCoreApplication::translate("CHScannerQTModuleConfigPanel", "LLD version:"));
  m_lblDriverVersion->setText(QCoreApplication::translate("CHScannerQTModuleConfigPanel", "Driver version:"));
  m_lblFirstScan->setText(QCoreApplication::translate("CHScannerQTModuleConfigPanel", "First scan on:"));
  m_grpMaintenance->setTitle(QCoreApplication::translate("CHScannerQTModuleConfigPanel", "Maintenance"));
  m_lblRollerCt->setText(QCoreApplication::translate("CHScannerQTModuleConfigPanel", "Feed roller count:"));
  m_lblSeparationCt->setText(QCoreApplication::translate("CHScannerQTModuleConfigPanel", "Friction roller count:"));
  m_lblCleanedCt->setText(QCoreApplication::translate("CHScannerQTModuleConfigPanel", "Count since last cleaned:"));
  m_grpScanHistory->setTitle(QCoreApplication::translate("CHScannerQTModuleConfigPanel", "Total number of pages scanned:"));
  m_lblScanHistorySimplex->setText(QCoreApplication::translate("CHScannerQTModuleConfigPanel", "From ADF (simplex):"));
  m_lblScanHistoryDuplex->setText(QCoreApplication::translate("CHScannerQTModuleConfigPanel", "From ADF (duplex):"));
  m_lblMultifeedCt->setText(QCoreApplication::translate("CHScannerQTModuleConfigPanel", "Multifeed:"));
  m_lblJamCt->setText(QCoreApplication::translate("CHScannerQTModuleConfigPanel", "Jam:"));
  for (QPushButton* reset : {m_btnScnrCfgRollerCtReset, m_btnScnrCfgSeparationCtReset, m_btnScnrCfgCleanedCtReset,
                             m_btnScnrCfgScanHistorySimplexReset, m_btnScnrCfgScanHistoryDuplexReset,
                             m_btnScnrCfgMultifeedCtReset, m_btnScnrCfgJamCtReset, m_btnScnrCfgTimeoutReset,
                             m_btnScnrCfgOffTimeoutReset, m_btnScnrCfgERPTimeoutReset}) {
    reset->setText(QCoreApplication::translate("CHScannerQTModuleConfigPanel", "Reset"));
  }
  for (QPushButton* set : {m_btnScnrCfgTimeoutSet, m_btnScnrCfgOffTimeoutSet, m_btnScnrCfgERPTimeoutSet}) {
    set->setText(QCoreApplication::translate("CHScannerQTModuleConfigPanel", "Set"));
  }
  m_chkScnrCfgMaintenance->setText(QCoreApplication::translate("CHScannerQTModuleConfigPanel", "&Show maintenance reminders"));
  m_chkFW->setText(QCoreApplication::translate("CHScannerQTModuleConfigPanel", "Check for &firmware update"));
  m_btnUpdateFirmware->setText(QCoreApplication::translate("CHScannerQTModuleConfigPanel", "Update"));
  m_grpPower->setTitle(QCoreApplication::translate("CHScannerQTModuleConfigPanel", "Power settings"));
  m_lblTimeout->setText(QCoreApplication::translate("CHScannerQTModuleConfigPanel", "&Sleep mode:"));
  m_lblOffTimeout->setText(QCoreApplication::translate("CHScannerQTModuleConfigPanel", "&Power off:"));
  m_lblERPTimeout->setText(QCoreApplication::translate("CHScannerQTModuleConfigPanel", "&USB off:"));
  for (QSpinBox* box : {m_spnScnrCfgTimeout, m_spnScnrCfgOffTimeout, m_spnScnrCfgERPTimeout}) {
    box->setSuffix(QCoreApplication::translate("CHScannerQTModuleConfigPanel", " minute(s)"));
  }
  m_lblHelp->setText(QStringLiteral("<a href=\"panel_doc_scnr_help\">") + QCoreApplication::translate("CHScannerQTModuleConfigPanel", "Help") + QStringLiteral("</a>"));
}

}  // namespace Ui
