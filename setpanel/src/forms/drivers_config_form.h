// Form "DriversConfig": page 1 of the panel, the options of the model's data sources and their
// default preset. Texts are translated in the context of the form's name.
#pragma once

#include "../shell/panel_widgets.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QWidget>

namespace Ui {

class DriversConfig {
 public:
  void setupUi(QWidget* form);
  void retranslateUi(QWidget* form);

  QGroupBox* m_grpGeneral = nullptr;
  QCheckBox* m_chkLockSettings = nullptr;
  QLabel* m_lblDefaultPreset = nullptr;
  rzd::panel::CCmbBox* m_cmbDefaultPreset = nullptr;
  QGroupBox* m_grpTwain = nullptr;
  QCheckBox* m_chkAutoXfer = nullptr;
  QCheckBox* m_chkAutoClose = nullptr;
  QCheckBox* m_chkForceUILess = nullptr;
  QCheckBox* m_chkProfileOverrides = nullptr;
  QCheckBox* m_chkFailOpenNotPresent = nullptr;
  QCheckBox* m_chkEndUserCompression = nullptr;
  QCheckBox* m_chkRememberCompression = nullptr;
  QCheckBox* m_chkSeqUnsupport = nullptr;
  QCheckBox* m_chkTopmost = nullptr;
  QCheckBox* m_chkSuppressEnableDSFailure = nullptr;
  QGroupBox* m_grpWia = nullptr;
  QCheckBox* m_chkDefaultWiaUI = nullptr;
  QCheckBox* m_chkEmulateWia = nullptr;
};

}  // namespace Ui
