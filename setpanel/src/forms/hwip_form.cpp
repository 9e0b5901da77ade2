#include "hwip_form.h"

#include "form_parts.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace Ui {

void CHScannerQTModuleConfigPanelHWIP::setupUi(QWidget* form) {
  using rzd::panel::Named;
  if (form->objectName().isEmpty()) form->setObjectName(QStringLiteral("CHScannerQTModuleConfigPanelHWIP"));
  auto* page = new QHBoxLayout(form);
  page->setContentsMargins(10, 10, 10, 10);
  page->setSpacing(12);
  m_lblPicture = rzd::panel::PictureLabel(form, "m_lblPicture", QStringLiteral(":/images/M48tz.png"), 96);
  page->addWidget(m_lblPicture, 0, Qt::AlignTop);
  auto* column = new QVBoxLayout();
  m_grpHWIP = Named<QGroupBox>(form, "m_grpHWIP");
  auto* boxes = new QVBoxLayout(m_grpHWIP);
  boxes->setSpacing(6);
  m_chkFilter = Named<QCheckBox>(m_grpHWIP, "m_chkFilter");
  m_chkBDR = Named<QCheckBox>(m_grpHWIP, "m_chkBDR");
  m_chkCropDeskew = Named<QCheckBox>(m_grpHWIP, "m_chkCropDeskew");
  m_chkMoire = Named<QCheckBox>(m_grpHWIP, "m_chkMoire");
  m_chkRotate = Named<QCheckBox>(m_grpHWIP, "m_chkRotate");
  m_chkBPD = Named<QCheckBox>(m_grpHWIP, "m_chkBPD");
  for (QCheckBox* box : {m_chkFilter, m_chkBDR, m_chkCropDeskew, m_chkMoire, m_chkRotate, m_chkBPD}) boxes->addWidget(box);
  column->addWidget(m_grpHWIP);
  column->addStretch(1);
  page->addLayout(column, 1);
  retranslateUi(form);
}

void CHScannerQTModuleConfigPanelHWIP::retranslateUi(QWidget* form) {
  form->setWindowTitle(QCoreApplication::translate("CHScannerQTModuleConfigPanelHWIP", "HW IP"));
  m_chkFilter->setText(QCoreApplication::translate("CHScannerQTModuleConfigPanelHWIP", "Filter"));
  m_chkBDR->setText(QCoreApplication::translate("CHScannerQTModuleConfigPanelHWIP", "Bit depth reduction"));
  m_chkCropDeskew->setText(
      QCoreApplication::translate("CHScannerQTModuleConfigPanelHWIP", "Crop to original && Straighten image"));
  m_chkMoire->setText(QCoreApplication::translate("CHScannerQTModuleConfigPanelHWIP", "Reduce moiré"));
  m_chkRotate->setText(QCoreApplication::translate("CHScannerQTModuleConfigPanelHWIP", "Rotate image"));
  m_chkBPD->setText(QCoreApplication::translate("CHScannerQTModuleConfigPanelHWIP", "Skip blank originals"));
  const QString tip =
      QCoreApplication::translate("CHScannerQTModuleConfigPanelHWIP", "Select to enable this option in hardware image processing");
  for (QCheckBox* box : {m_chkFilter, m_chkBDR, m_chkCropDeskew, m_chkMoire, m_chkRotate, m_chkBPD}) box->setToolTip(tip);
}

}  // namespace Ui
