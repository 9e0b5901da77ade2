// Form "CHScannerQTModuleConfigPanelHWIP": page 2 of the panel, six switches of the hardware
// image processing. Texts are translated in the context of the form's name.
#pragma once

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QWidget>

namespace Ui {

class CHScannerQTModuleConfigPanelHWIP {
 public:
  void setupUi(QWidget* form);
  void retranslateUi(QWidget* form);

  QLabel* m_lblPicture = nullptr;
  QGroupBox* m_grpHWIP = nullptr;  // a frame around the switches, without a caption
  QCheckBox* m_chkFilter = nullptr;
  QCheckBox* m_chkBDR = nullptr;
  QCheckBox* m_chkCropDeskew = nullptr;
  QCheckBox* m_chkMoire = nullptr;
  QCheckBox* m_chkRotate = nullptr;
  QCheckBox* m_chkBPD = nullptr;
};

}  // namespace Ui
