#include "module.h"

#include "../pages/drivers_config_page.h"
#include "../forms/form_parts.h"
#include "foundation/func_trace.h"
#include "lowdrv/engine/model_ids.h"
#include "page_manager.h"
#include "slot_connections.h"

#include <QCoreApplication>
#include <QDir>
#include <QFontDatabase>
#include <QVBoxLayout>

namespace rzd::panel {

namespace {
const QString kModelName = QString::fromUtf16(lowdrv::kModelName);
const QString kBlanks(30, QLatin1Char(' '));
}  // namespace

CHScannerQTModule::CHScannerQTModule()
    : CCHScannerQTModuleBase(nullptr, u"Scanner Driver UI", -1, nullptr, nullptr) {
  Pages().PageObjectCreated();
  Pages().InstallTranslators();
  cfgPanel_ = new CHPanel();
  docPanel_ = new CHPanel();
  BuildConfigForm(cfgPanel_);
  ConnectSlotsByName(this, cfgPanel_);
  connect(cfgPanel_, &QObject::destroyed, this, &CHScannerQTModule::ForgetConfigForm);
  InitVars();
}

CHScannerQTModule::CHScannerQTModule(void* connector, QWidget* parent, void* hostData, int32_t pageIndex,
                                     HWPropChangedCallback changed)
    : CCHScannerQTModuleBase(parent, u"Scanner Driver UI", pageIndex, hostData, changed) {
  connector_ = connector;
  Pages().PageObjectCreated();
  Pages().InstallTranslators();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  switch (pageIndex) {
    case 0: {
      auto* form = new QWidget(this);
      layout->addWidget(form);
      BuildConfigForm(form);
      break;
    }
    case 1:
      BuildDriversForm();
      layout->addWidget(driversConfig_);
      break;
    default: {
      // The form gets a widget of its own: the page already has its layout.
      auto* form = new QWidget(this);
      layout->addWidget(form);
      BuildHwipForm(form);
      break;
    }
  }
  ConnectSlotsByName(this, this);
  InitVars();
  AdjustLayout(this);
}

CHScannerQTModule::~CHScannerQTModule() {
  if (updater_ != nullptr) {
    // An update that still runs goes on; its process object outlives the page and ends with it.
    QProcess* process = updater_.data();
    process->disconnect(this);
    process->setParent(nullptr);
    QObject::connect(process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), process, &QObject::deleteLater);
  }
  // The panels a host still holds go now; one a host already deleted is only forgotten.
  if (cfgPanel_ != nullptr) cfgPanel_->disconnect(this);
  delete cfgPanel_.data();
  delete docPanel_.data();
  Pages().PageObjectDestroyed();
}

void CHScannerQTModule::ForgetConfigForm() {
  maintenanceTimer_.stop();
  config_.reset();
  configRoot_ = nullptr;
}

void CHScannerQTModule::BuildConfigForm(QWidget* root) {
  configRoot_ = root;
  config_ = std::make_unique<Ui::CHScannerQTModuleConfigPanel>();
  config_->setupUi(root);
  // Built hidden, and nothing shows them again: the first-scan row, the resets of the page
  // totals and the firmware row.
  for (QWidget* hidden : std::initializer_list<QWidget*>{
           config_->m_lblFirstScan, config_->m_txtFirstScan, config_->m_btnScnrCfgScanHistorySimplexReset,
           config_->m_btnScnrCfgScanHistoryDuplexReset, config_->m_btnScnrCfgMultifeedCtReset,
           config_->m_btnScnrCfgJamCtReset, config_->m_chkFW, config_->m_btnUpdateFirmware}) {
    hidden->hide();
  }
  // The "Update" button waits for the unit's information to enable it.
  config_->m_btnUpdateFirmware->setEnabled(false);
  connect(config_->m_lblHelp, &QLabel::linkActivated, this, &CHScannerQTModule::slotOnLinkActivated);
  maintenanceTimer_.setSingleShot(true);
  maintenanceTimer_.setInterval(2000);
  connect(&maintenanceTimer_, &QTimer::timeout, this, &CHScannerQTModule::onMaintenanceTimer1);
  AdjustLayout(root);
}

void CHScannerQTModule::BuildHwipForm(QWidget* root) {
  hwip_ = std::make_unique<Ui::CHScannerQTModuleConfigPanelHWIP>();
  hwip_->setupUi(root);
  for (QCheckBox* box : {hwip_->m_chkFilter, hwip_->m_chkBDR, hwip_->m_chkCropDeskew, hwip_->m_chkMoire,
                         hwip_->m_chkRotate, hwip_->m_chkBPD}) {
    connect(box, &QCheckBox::toggled, this, &CHScannerQTModule::OnHwipToggled);
  }
}

void CHScannerQTModule::BuildDriversForm() {
  driversConfig_ = new DriversConfigPage(*this, this);
  connect(driversConfig_, &DriversConfigPage::changed, this, &CHScannerQTModule::MarkChanged);
}

void CHScannerQTModule::InitVars() {
  RZD_FUNC_TRACE(u"CHScannerQTModule::InitVars");
  limits_ = MaintenanceLimits{};
  moduleList_.clear();
  moduleValue_ = 0;
  const QDir fonts(QStringLiteral(":/fonts"));
  for (const QString& file : fonts.entryList(QDir::Files)) QFontDatabase::addApplicationFont(fonts.filePath(file));
}

QString CHScannerQTModule::getModuleShortName() { return kModelName; }

QString CHScannerQTModule::getModuleFullName() { return QStringLiteral("Quarx® ") + kModelName + QStringLiteral(" Scanner"); }

QString CHScannerQTModule::getStyleSheet() {
  return QStringLiteral("{") + kBlanks +
         QStringLiteral("background-color: qlineargradient(spread:pad, x1:0.0, y1:0.5, x2:1, y2:0.5, "
                        "stop:0.0 #B75427, stop:1.0 #B75427);") +
         kBlanks + QStringLiteral("background-repeat: no-repeat;") + kBlanks +
         QStringLiteral("background-position: top left;") + kBlanks + QStringLiteral("}");
}

QString CHScannerQTModule::getFontFileName() { return QStringLiteral("LiberationSans-Bold.ttf"); }

QPixmap* CHScannerQTModule::getImage(unsigned index) {
  QString name;
  switch (index) {
    case 0: name = QStringLiteral(":/images/") + kModelName + QStringLiteral(".png"); break;
    case 1:
    case 2: name = QStringLiteral(":/images/AppIcon2.png"); break;
    case 3: name = QStringLiteral(":/images/QCConnector.png"); break;
    case 4: name = QStringLiteral(":/images/QCLogo.png"); break;
    case 5: name = QStringLiteral(":/images/CalibrateScanner.png"); break;
    case 6: name = QStringLiteral(":/images/CleanScanner.png"); break;
    default: name = QStringLiteral(":/images/Scanner.png"); break;
  }
  return new QPixmap(name);
}

QWidget* CHScannerQTModule::getCfgPanelUI(unsigned index) { return index == 0 ? cfgPanel_.data() : nullptr; }

QString CHScannerQTModule::getCfgPanelTabName(unsigned) { return QStringLiteral("&") + getModuleShortName(); }

QWidget* CHScannerQTModule::DialogParent() { return cfgPanel_ != nullptr ? static_cast<QWidget*>(cfgPanel_.data()) : this; }

QString CHScannerQTModule::PageTitle() const {
  return QString::fromStdU16String(identity_.friendlyName) + QStringLiteral(" ") +
         QCoreApplication::translate("CHScannerQTModuleConfigPanel", "Properties");
}

void CHScannerQTModule::setGuid(const QString& guid) { SetIdentity(FindDeviceIdentity(guid.toStdU16String())); }

void CHScannerQTModule::setModule_Instance(IDispatch* instance) {
  // The same object keeps its reference; another one (or none) replaces it.
  ComPtr<IDispatch> current;
  if (hal_) hal_->QueryInterface(IID_IDispatch, current.OutVoid());
  if (instance == nullptr || instance != current.Get()) SetService(instance);
  if (getCfgPanelUI(0) != nullptr) GetScannerInfo();
  if (config_) {
    UpdateConfigSettings();
    GetScannerInfo();
    UpdateAppsSettings();
  }
  // Page 1 loads once the unit is known, so it shows the unit's file, not the defaults.
  if (driversConfig_ != nullptr) driversConfig_->LoadDriverSettings();
  if (hwip_) UpdateHWIPSettings();
}

void CHScannerQTModule::notifyChanged() {
  GetScannerInfo();
  if (changed_ == nullptr) TellHost(0);
}

void CHScannerQTModule::MarkChanged() {
  pageChanged_ = true;
  TellHost(1);
}

void CHScannerQTModule::slotOnLinkActivated(const QString& link) {
  RZD_FUNC_TRACE(u"slotOnLinkActivated");
  RZD_TRACE_LOG(u"link = %s", link.toStdU16String().c_str());
  if (link == QLatin1String("panel_doc_scnr_help")) {
    emit invokeGlobalHelpTopic(QStringLiteral("docset_scanner_panel"), QStringLiteral("Scanner_Help_CSH.htm"));
  } else {
    RZD_LOG_WARN(u"There is no handler implemented for the link \"%s\".", link.toStdU16String().c_str());
  }
}

int CHScannerQTModule::ApplyChanges() {
  if (!pageChanged_) return 1;
  if (config_) {
    // Only a preference the page read or the user set is written: a page whose information
    // read failed never saw the stored one.
    if (firmwarePreferenceKnown_) setNotAsking(config_->m_chkFW->isChecked() ? 0 : 2);
    HwProps().WriteInt(HwProp::MaintenanceWarning, config_->m_chkScnrCfgMaintenance->isChecked() ? 1 : 0);
  }
  if (hwip_) ApplyHwip();
  if (driversConfig_ != nullptr) driversConfig_->ApplyDriverSettings();
  pageChanged_ = false;
  return 1;
}

}  // namespace rzd::panel
