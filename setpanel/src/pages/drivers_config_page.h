// Page 1 ("Driver settings"): the options of the model's data sources and their default
// preset, stored in HWProps.ini [TWAIN].
#pragma once

#include "../forms/drivers_config_form.h"

#include <QWidget>

namespace rzd::panel {

class CCHScannerQTModuleBase;

class DriversConfigPage : public QWidget {
  Q_OBJECT
 public:
  DriversConfigPage(CCHScannerQTModuleBase& module, QWidget* parent);

  // Shows the unit's file: the switches, the presets with the default one selected, "Auto
  // transfer" only for a unit that can sense media, and the rights of the user.
  void LoadDriverSettings();
  // Writes the 13 switches and the default preset; a changed "Emulate WIA 1.0" asks for a power
  // cycle of the unit once.
  void ApplyDriverSettings();

  Ui::DriversConfig& Form() { return ui_; }
  bool LoadedEmulation() const { return loadedEmulation_; }

 signals:
  // A control changed.
  void changed();

 private slots:
  void OnEmulateToggled(bool checked);

 private:
  void SelectProfile(const QString& profile);

  CCHScannerQTModuleBase& module_;
  Ui::DriversConfig ui_;
  bool loadedEmulation_ = false;
};

}  // namespace rzd::panel
