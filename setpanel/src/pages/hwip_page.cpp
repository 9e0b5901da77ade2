// Page 2: the six switches of the hardware image processing in HWProps.ini.
#include "../shell/module.h"

#include <QCoreApplication>

namespace rzd::panel {

namespace {
struct Switch {
  QCheckBox* Ui::CHScannerQTModuleConfigPanelHWIP::*box;
  HwProp prop;
};
// In the order Apply writes them.
const Switch kSwitches[] = {{&Ui::CHScannerQTModuleConfigPanelHWIP::m_chkCropDeskew, HwProp::HWIP_CropDeskew},
                            {&Ui::CHScannerQTModuleConfigPanelHWIP::m_chkMoire, HwProp::HWIP_Moire},
                            {&Ui::CHScannerQTModuleConfigPanelHWIP::m_chkRotate, HwProp::HWIP_Rotate},
                            {&Ui::CHScannerQTModuleConfigPanelHWIP::m_chkBPD, HwProp::HWIP_BPD},
                            {&Ui::CHScannerQTModuleConfigPanelHWIP::m_chkBDR, HwProp::HWIP_BDR},
                            {&Ui::CHScannerQTModuleConfigPanelHWIP::m_chkFilter, HwProp::HWIP_Filter}};
}  // namespace

void CHScannerQTModule::UpdateHWIPSettings() {
  if (!hwip_) return;
  const bool admin = IsRunningAsAdmin();
  const QString tip =
      IsUserInAdminGroup()
          ? QCoreApplication::translate("CHScannerQTModule",
                                        "This option can only be changed when the scanner properties windows are "
                                        "opened from the Windows Control Panel")
          : QCoreApplication::translate("CHScannerQTModule", "You need administrative privileges to change this setting.");
  for (const Switch& s : kSwitches) {
    QCheckBox* box = (*hwip_).*s.box;
    const QSignalBlocker quiet(box);
    box->setChecked(ReadSwitch(s.prop) != 0);
    if (!admin) {
      box->setEnabled(false);
      box->setToolTip(tip);
    }
  }
}

void CHScannerQTModule::OnHwipToggled(bool) { MarkChanged(); }

void CHScannerQTModule::ApplyHwip() {
  const HwPropsFile file = HwProps();
  for (const Switch& s : kSwitches) file.WriteInt(s.prop, ((*hwip_).*s.box)->isChecked() ? 1 : 0);
}

}  // namespace rzd::panel
