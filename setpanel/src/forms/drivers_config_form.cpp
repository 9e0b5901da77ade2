#include "drivers_config_form.h"

#include "form_parts.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace Ui {

void DriversConfig::setupUi(QWidget* form) {
  using rzd::panel::Named;
  if (form->objectName().isEmpty()) form->setObjectName(QStringLiteral("DriversConfig"));
  auto* page = new QVBoxLayout(form);
  page->setContentsMargins(10, 10, 10, 10);
  page->setSpacing(8);

  m_grpGeneral = Named<QGroupBox>(form, "m_grpGeneral");
  auto* general = new QGridLayout(m_grpGeneral);
  m_chkLockSettings = Named<QCheckBox>(m_grpGeneral, "m_chkLockSettings");
  m_lblDefaultPreset = Named<QLabel>(m_grpGeneral, "m_lblDefaultPreset");
  m_cmbDefaultPreset = Named<rzd::panel::CCmbBox>(m_grpGeneral, "m_cmbDefaultPreset");
  m_cmbDefaultPreset->setMinimumWidth(220);
  m_lblDefaultPreset->setBuddy(m_cmbDefaultPreset);
  general->addWidget(m_chkLockSettings, 0, 0, 1, 2);
  general->addWidget(m_lblDefaultPreset, 1, 0);
  general->addWidget(m_cmbDefaultPreset, 1, 1);
  general->setColumnStretch(1, 1);
  page->addWidget(m_grpGeneral);

  m_grpTwain = Named<QGroupBox>(form, "m_grpTwain");
  auto* twain = new QGridLayout(m_grpTwain);
  twain->setVerticalSpacing(6);
  m_chkAutoXfer = Named<QCheckBox>(m_grpTwain, "m_chkAutoXfer");
  m_chkAutoClose = Named<QCheckBox>(m_grpTwain, "m_chkAutoClose");
  m_chkForceUILess = Named<QCheckBox>(m_grpTwain, "m_chkForceUILess");
  m_chkProfileOverrides = Named<QCheckBox>(m_grpTwain, "m_chkProfileOverrides");
  m_chkFailOpenNotPresent = Named<QCheckBox>(m_grpTwain, "m_chkFailOpenNotPresent");
  m_chkEndUserCompression = Named<QCheckBox>(m_grpTwain, "m_chkEndUserCompression");
  m_chkRememberCompression = Named<QCheckBox>(m_grpTwain, "m_chkRememberCompression");
  m_chkSeqUnsupport = Named<QCheckBox>(m_grpTwain, "m_chkSeqUnsupport");
  m_chkTopmost = Named<QCheckBox>(m_grpTwain, "m_chkTopmost");
  m_chkSuppressEnableDSFailure = Named<QCheckBox>(m_grpTwain, "m_chkSuppressEnableDSFailure");
  QCheckBox* twainBoxes[] = {m_chkAutoXfer,          m_chkAutoClose,           m_chkForceUILess,
                             m_chkProfileOverrides,  m_chkFailOpenNotPresent,  m_chkEndUserCompression,
                             m_chkRememberCompression, m_chkSeqUnsupport,      m_chkTopmost,
                             m_chkSuppressEnableDSFailure};
  int index = 0;
  for (QCheckBox* box : twainBoxes) {
    twain->addWidget(box, index % 5, index / 5);
    ++index;
  }
  page->addWidget(m_grpTwain);

  m_grpWia = Named<QGroupBox>(form, "m_grpWia");
  auto* wia = new QHBoxLayout(m_grpWia);
  m_chkDefaultWiaUI = Named<QCheckBox>(m_grpWia, "m_chkDefaultWiaUI");
  m_chkEmulateWia = Named<QCheckBox>(m_grpWia, "m_chkEmulateWia");
  wia->addWidget(m_chkDefaultWiaUI);
  wia->addWidget(m_chkEmulateWia);
  wia->addStretch(1);
  page->addWidget(m_grpWia);
  page->addStretch(1);
  retranslateUi(form);
}

void DriversConfig::retranslateUi(QWidget* form) {
  form->setWindowTitle(QCoreApplication::translate("DriversConfig", "Form"));
  m_grpGeneral->setTitle(QCoreApplication::translate("DriversConfig", "General"));
  m_chkLockSettings->setText(QCoreApplication::translate("DriversConfig", "Lock settings"));
  m_chkLockSettings->setToolTip(QCoreApplication::translate(
      "DriversConfig", "Select to prevent the interface options from being changed by a user."));
  m_lblDefaultPreset->setText(QCoreApplication::translate("DriversConfig", "Default preset:"));
  const QString presetTip = QCoreApplication::translate("DriversConfig", "Select a default preset for the TWAIN interface.");
  m_lblDefaultPreset->setToolTip(presetTip);
  m_cmbDefaultPreset->setToolTip(presetTip);
  m_grpTwain->setTitle(QCoreApplication::translate("DriversConfig", "TWAIN driver"));
  m_chkAutoXfer->setText(QCoreApplication::translate("DriversConfig", "Auto transfer"));
  m_chkAutoXfer->setToolTip(
      QCoreApplication::translate("DriversConfig", "Scanning and transfer starts when the scanner detects media."));
  m_chkAutoClose->setText(QCoreApplication::translate("DriversConfig", "Auto close on transfer"));
  m_chkAutoClose->setToolTip(
      QCoreApplication::translate("DriversConfig", "The interface closes automatically when scanning is complete."));
  m_chkForceUILess->setText(QCoreApplication::translate("DriversConfig", "Force UI-less"));
  m_chkForceUILess->setToolTip(QCoreApplication::translate(
      "DriversConfig", "For use with applications that do not normally support UI-less mode."));
  m_chkProfileOverrides->setText(QCoreApplication::translate("DriversConfig", "Preset overrides capabilities"));
  m_chkProfileOverrides->setToolTip(QCoreApplication::translate(
      "DriversConfig", "The default preset will override any changes made by the calling application."));
  m_chkFailOpenNotPresent->setText(QCoreApplication::translate("DriversConfig", "Fail open if scanner not present"));
  m_chkFailOpenNotPresent->setToolTip(QCoreApplication::translate(
      "DriversConfig", "Prevents the driver from opening if the scanner is not connected."));
  m_chkEndUserCompression->setText(QCoreApplication::translate("DriversConfig", "Enable user compression"));
  m_chkEndUserCompression->setToolTip(
      QCoreApplication::translate("DriversConfig", "Allows the user to specify the type of compression used."));
  m_chkRememberCompression->setText(QCoreApplication::translate("DriversConfig", "Remember compression"));
  m_chkRememberCompression->setToolTip(QCoreApplication::translate(
      "DriversConfig", "Compression settings will be saved and loaded from presets and last used settings."));
  m_chkSeqUnsupport->setText(QCoreApplication::translate("DriversConfig", "Suppress TWCC_CAPSEQERROR"));
  m_chkSeqUnsupport->setToolTip(
      QCoreApplication::translate("DriversConfig", "Return default value if there is a TWCC_CAPSEQERROR error"));
  m_chkTopmost->setText(QCoreApplication::translate("DriversConfig", "Make TWAIN topmost UI"));
  m_chkTopmost->setToolTip(QCoreApplication::translate(
      "DriversConfig", "Always show the TWAIN interface in front of all other open windows. "));
  m_chkSuppressEnableDSFailure->setText(QCoreApplication::translate("DriversConfig", "Suppress EnableDS failure"));
  m_chkSuppressEnableDSFailure->setToolTip(QCoreApplication::translate(
      "DriversConfig", "Report success to the application when the scanner's interface cannot be enabled."));
  m_grpWia->setTitle(QCoreApplication::translate("DriversConfig", "WIA driver"));
  m_chkDefaultWiaUI->setText(QCoreApplication::translate("DriversConfig", "Use default WIA UI"));
  m_chkDefaultWiaUI->setToolTip(QCoreApplication::translate(
      "DriversConfig", "Use the Microsoft WIA interface instead of the scanner's custom interface."));
  m_chkEmulateWia->setText(QCoreApplication::translate("DriversConfig", "Emulate WIA 1.0"));
  m_chkEmulateWia->setToolTip(QCoreApplication::translate(
      "DriversConfig", "Select to display the scanner's custom interface in WIA 1.0 applications."));
}

}  // namespace Ui
