#include "drivers_config_page.h"

#include "interfaces/rzdhal_codes.h"
#include "../shell/module_base.h"
#include "presets.h"
#include "foundation/xml_store.h"
#include "platform/registry.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QVBoxLayout>

#include <vector>

namespace rzd::panel {

namespace {

// The 13 switches in the order Apply writes them (after EMULATE_WIA_1_0).
struct Switch {
  QCheckBox* Ui::DriversConfig::*box;
  HwProp prop;
};
const Switch kSwitches[] = {{&Ui::DriversConfig::m_chkDefaultWiaUI, HwProp::DEFAULT_WIA_UI},
                            {&Ui::DriversConfig::m_chkAutoXfer, HwProp::TWAIN_AutoXfer},
                            {&Ui::DriversConfig::m_chkAutoClose, HwProp::TWAIN_AutoClose},
                            {&Ui::DriversConfig::m_chkForceUILess, HwProp::TWAIN_ForceUILess},
                            {&Ui::DriversConfig::m_chkProfileOverrides, HwProp::TWAIN_ProfileOverrides},
                            {&Ui::DriversConfig::m_chkEndUserCompression, HwProp::TWAIN_EndUserCompression},
                            {&Ui::DriversConfig::m_chkRememberCompression, HwProp::TWAIN_RememberCompression},
                            {&Ui::DriversConfig::m_chkFailOpenNotPresent, HwProp::TWAIN_FailOpenNotPresent},
                            {&Ui::DriversConfig::m_chkTopmost, HwProp::TWAIN_Topmost},
                            {&Ui::DriversConfig::m_chkLockSettings, HwProp::DriversSettingsLock},
                            {&Ui::DriversConfig::m_chkSeqUnsupport, HwProp::TWAIN_Seq_Unsupport},
                            {&Ui::DriversConfig::m_chkSuppressEnableDSFailure, HwProp::TWAIN_SuppressEnableDSFailure}};
}  // namespace

DriversConfigPage::DriversConfigPage(CCHScannerQTModuleBase& module, QWidget* parent)
    : QWidget(parent), module_(module) {
  ui_.setupUi(this);
  for (const Switch& s : kSwitches) connect(ui_.*s.box, &QCheckBox::toggled, this, [this] { emit changed(); });
  connect(ui_.m_chkEmulateWia, &QCheckBox::toggled, this, &DriversConfigPage::OnEmulateToggled);
  connect(ui_.m_cmbDefaultPreset, qOverload<int>(&QComboBox::activated), this, [this] { emit changed(); });
}

void DriversConfigPage::LoadDriverSettings() {
  const DeviceIdentity& identity = module_.Identity();
  const HwPropsFile file = module_.HwProps();
  {
    // Signals stay quiet while the page shows the file.
    std::vector<QSignalBlocker> quiet;
    for (QWidget* w : findChildren<QWidget*>()) quiet.emplace_back(w);

    // "Auto transfer" belongs to units that sense media (or that are combined with another).
    Bstr supported;
    const HRESULT answer = module_.SendHALControl(RZDHAL_CC_GET_SUPPORTED, {}, supported.Out(), nullptr, nullptr);
    MSXML6StoreSTL store;
    if (answer == S_OK && store.LoadFromString(supported.View())) {
      const bool media = store.SelectNode(u"/.//Item[@Name=\"Sensor\"][@Type=\"Media\"]");
      const bool combined = !identity.combineWith.empty();
      ui_.m_chkAutoXfer->setVisible(media || combined);
      if (!media && !combined) ui_.m_chkAutoXfer->setEnabled(false);
    } else {
      ui_.m_chkAutoXfer->setVisible(true);
      ui_.m_chkAutoXfer->setEnabled(false);
    }

    ui_.m_chkEmulateWia->setChecked(file.ReadInt(HwProp::EMULATE_WIA_1_0) != 0);
    loadedEmulation_ = ui_.m_chkEmulateWia->isChecked();
    for (const Switch& s : kSwitches) (ui_.*s.box)->setChecked(file.ReadInt(s.prop) != 0);

    ui_.m_cmbDefaultPreset->clear();
    ui_.m_cmbDefaultPreset->addItem(QCoreApplication::translate("DriversConfig", "Default settings"), QString::fromStdU16String(kDriversProfileDefaultSettings));
    ui_.m_cmbDefaultPreset->addItem(QCoreApplication::translate("DriversConfig", "Last used settings"), QString::fromStdU16String(kDriversProfileLastUsed));
    for (const QString& preset : ListPresets(PresetsFolder(identity.halModel))) {
      ui_.m_cmbDefaultPreset->addItem(preset, preset);
    }
    SelectProfile(QString::fromStdU16String(file.ReadString(HwProp::DriversProfile)));
  }

  if (!module_.IsRunningAsAdmin()) {
    const QString tip =
        module_.IsUserInAdminGroup()
            ? QCoreApplication::translate("DriversConfig", "This option can only be changed when the scanner properties windows are opened from the Windows "
                   "Control Panel.")
            : QCoreApplication::translate("DriversConfig", "You need administrative privileges to change this setting.");
    for (const Switch& s : kSwitches) {
      (ui_.*s.box)->setEnabled(false);
      (ui_.*s.box)->setToolTip(tip);
    }
    ui_.m_chkEmulateWia->setEnabled(false);
    ui_.m_chkEmulateWia->setToolTip(tip);
    ui_.m_cmbDefaultPreset->setEnabled(false);
    ui_.m_cmbDefaultPreset->setToolTip(tip);
  }
}

void DriversConfigPage::SelectProfile(const QString& profile) {
  int index = ui_.m_cmbDefaultPreset->findData(profile);
  if (index < 0) {
    // A default preset whose file is missing stays the default: Apply writes it back unchanged.
    ui_.m_cmbDefaultPreset->addItem(profile, profile);
    index = ui_.m_cmbDefaultPreset->count() - 1;
  }
  ui_.m_cmbDefaultPreset->setCurrentIndex(index);
}

void DriversConfigPage::OnEmulateToggled(bool checked) {
  if (checked != loadedEmulation_) {
    QMessageBox box(QMessageBox::Information, QCoreApplication::translate("DriversConfig", "Attention!"),
                    QCoreApplication::translate("DriversConfig", "This will change WIA driver behaviour. Do you want to continue?"),
                    QMessageBox::Yes | QMessageBox::No, module_.DialogParent());
    box.setDefaultButton(QMessageBox::No);
    if (box.exec() != QMessageBox::Yes) {
      const QSignalBlocker quiet(ui_.m_chkEmulateWia);
      ui_.m_chkEmulateWia->setChecked(!checked);
      return;
    }
  }
  emit changed();
}

void DriversConfigPage::ApplyDriverSettings() {
  const HwPropsFile file = module_.HwProps();
  const bool emulate = ui_.m_chkEmulateWia->isChecked();
  file.WriteInt(HwProp::EMULATE_WIA_1_0, emulate ? 1 : 0);
  for (const Switch& s : kSwitches) file.WriteInt(s.prop, (ui_.*s.box)->isChecked() ? 1 : 0);
  file.WriteString(HwProp::DriversProfile, ui_.m_cmbDefaultPreset->currentData().toString().toStdU16String());
  if (emulate != loadedEmulation_) {
    QMessageBox::information(module_.DialogParent(), QCoreApplication::translate("DriversConfig", "Attention!"), QCoreApplication::translate("DriversConfig", "Power cycle the scanner and click OK."));
    // The unit now runs with the stored value: a later Apply asks again only after a change.
    loadedEmulation_ = emulate;
  }
}

}  // namespace rzd::panel
