#include "panel_fixture.h"

#include "interfaces/rzdhal_proxy_stub.h"
#include "lowdrv/engine/model_ids.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "platform/root.h"
#include "platform/text.h"
#include "testsupport/pictures.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QEventLoop>
#include <QPainter>
#include <QStyleFactory>
#include <QToolTip>
#include <QVBoxLayout>

#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace rzd::test {

// {5C0F7E50-1A2B-4C3D-8E9F-000000000019}
const CLSID kPanelHalClass{0x5C0F7E50, 0x1A2B, 0x4C3D, {0x8E, 0x9F, 0, 0, 0, 0, 0, 0x19}};

std::u16string PanelDevice() { return FormatGuid(kPanelHalClass); }

std::string DefaultInfoDocument() {
  return "<RZDScanner>\r\n"
         "\t<ProductName><![CDATA[M48tz]]></ProductName>\r\n"
         "\t<SerialNumber><![CDATA[QX48T-0012345]]></SerialNumber>\r\n"
         "\t<FirmwareVersion><![CDATA[1.07]]></FirmwareVersion>\r\n"
         "\t<DriverVersion><![CDATA[1, 0, 0, 0]]></DriverVersion>\r\n"
         "\t<TWAINDSVersion><![CDATA[1, 0, 0, 0]]></TWAINDSVersion>\r\n"
         "\t<DateOfManufacture><![CDATA[2026 03 02]]></DateOfManufacture>\r\n"
         "\t<DateOfFirstScan><![CDATA[2026 04 11]]></DateOfFirstScan>\r\n"
         "\t<PowerSaveTimeout>15</PowerSaveTimeout>\r\n"
         "\t<PowerOffTimeout>240</PowerOffTimeout>\r\n"
         "\t<ERPTimeout>60</ERPTimeout>\r\n"
         "\t<RollerScanCount>123456</RollerScanCount>\r\n"
         "\t<ADFSimplexCount>45210</ADFSimplexCount>\r\n"
         "\t<ADFDuplexCount>39122</ADFDuplexCount>\r\n"
         "\t<ADFMultifeedCount>17</ADFMultifeedCount>\r\n"
         "\t<ADFJamCount>9</ADFJamCount>\r\n"
         "\t<CleanCounter>2480</CleanCounter>\r\n"
         "\t<FrictionRollerCount>51230</FrictionRollerCount>\r\n"
         "\t<CanUpdateFirmware>0</CanUpdateFirmware>\r\n"
         "\t<DefaultFirmwareVersion>1.07</DefaultFirmwareVersion>\r\n"
         "</RZDScanner>\r\n";
}

namespace {
std::string Hardware(bool current) {
  auto value = [current](const char* min, const char* max, const char* def, const char* now) {
    return std::string("<Value Minimum=\"") + min + "\" Maximum=\"" + max + "\" Step=\"1\" Default=\"" + def + "\">" +
           (current ? now : def) + "</Value>";
  };
  return "<HardwareSettings><SleepTimeout><Range>" + value("5", "120", "15", "15") +
         "</Range></SleepTimeout><OffTimeout><Range>" + value("0", "4320", "0", "240") +
         "</Range></OffTimeout><ERPTimeout><Range>" + value("0", "4320", "15", "60") +
         "</Range></ERPTimeout></HardwareSettings>";
}
}  // namespace

std::string DefaultSupportedDocument() {
  return "<Scanner Name=\"Quarx M48tz\">" + Hardware(false) +
         "<Sensors><List><Item Name=\"Sensor\" Type=\"Media\" ID=\"Paper\"/></List></Sensors></Scanner>";
}

std::string DefaultCurrentDocument() { return "<Scanner Name=\"Quarx M48tz\">" + Hardware(true) + "</Scanner>"; }

QImage FramedGrab(QWidget* widget) {
  const QPixmap inner = widget->grab();
  if (!widget->isWindow()) return inner.toImage();
  constexpr int kBar = 30;
  QImage framed(inner.width() + 2, inner.height() + kBar + 1, QImage::Format_RGB32);
  framed.fill(QColor(0x8A, 0x90, 0x98));
  QPainter painter(&framed);
  QLinearGradient bar(QPointF(0, 1), QPointF(0, kBar));
  bar.setColorAt(0.0, QColor(0xF1, 0xF3, 0xF5));
  bar.setColorAt(1.0, QColor(0xDC, 0xE0, 0xE5));
  painter.fillRect(QRect(1, 1, inner.width(), kBar - 1), bar);
  QFont font = widget->font();
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(QColor(0x20, 0x24, 0x2A));
  painter.drawText(QRect(12, 1, inner.width() - 24, kBar - 1), Qt::AlignVCenter | Qt::AlignLeft, widget->windowTitle());
  painter.drawPixmap(1, kBar, inner);
  return framed;
}

// ---- BoxWatcher

BoxWatcher::BoxWatcher() {
  timer_.setInterval(20);
  QObject::connect(&timer_, &QTimer::timeout, this, [this] { Look(); });
  timer_.start();
}

std::vector<QString> BoxWatcher::Texts() const {
  std::vector<QString> texts;
  for (const SeenBox& box : seen_) texts.push_back(box.text);
  return texts;
}

void BoxWatcher::Look() {
  auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
  if (box == nullptr || !box->isVisible()) return;
  // A box may be run twice with new text: each run counts.
  if (box == handled_ && !seen_.empty() && seen_.back().text == box->text() && box->property("rzdSeen").toBool()) return;
  box->setProperty("rzdSeen", true);
  handled_ = box;
  seen_.push_back(SeenBox{box->windowTitle(), box->text(), box->icon()});
  if (!pictureName_.empty()) {
    EXPECT_TRUE(FramedGrab(box).save(QString::fromStdString((PicturesDir() / (pictureName_ + ".png")).string())));
    pictureName_.clear();
  }
  QAbstractButton* button = answer_ != QMessageBox::NoButton ? box->button(answer_) : nullptr;
  if (button == nullptr) button = box->defaultButton();
  if (button == nullptr && !box->buttons().isEmpty()) button = box->buttons().first();
  QTimer::singleShot(0, box, [box, button] {
    box->setProperty("rzdSeen", false);
    if (button != nullptr) {
      button->click();
    } else {
      box->close();
    }
  });
}

// ---- SheetHost

SheetHost::SheetHost() : dialog_(std::make_unique<QDialog>()) {
  auto* layout = new QVBoxLayout(dialog_.get());
  tabs_ = new QTabWidget(dialog_.get());
  for (int i = 0; i < 3; ++i) {
    containers_[i] = new QWidget();
    new QVBoxLayout(containers_[i]);
    containers_[i]->layout()->setContentsMargins(0, 0, 0, 0);
    tabs_->addTab(containers_[i], QString::number(i));
  }
  layout->addWidget(tabs_);
  buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, dialog_.get());
  buttons_->button(QDialogButtonBox::Apply)->setEnabled(false);
  layout->addWidget(buttons_);
}

SheetHost::~SheetHost() = default;

void SheetHost::ShowTab(int index) { tabs_->setCurrentIndex(index); }

bool SheetHost::ApplyEnabled() const { return buttons_->button(QDialogButtonBox::Apply)->isEnabled(); }

void SheetHost::Changed(void* hostData, int32_t changed) {
  auto* sheet = static_cast<SheetHost*>(hostData);
  ++sheet->changes_;
  sheet->buttons_->button(QDialogButtonBox::Apply)->setEnabled(changed != 0);
}

bool PanelTest::CreatePage(SheetHost& sheet, int index) {
  auto create = Export<CreateHWPropPageFn>(kCreateHWPropPageName);
  const std::u16string classId = FormatGuid(kPanelHalClass);
  const std::u16string device = PanelDevice();
  return create(index, nullptr, sheet.Container(index), &sheet, classId.c_str(), device.c_str(), &SheetHost::Changed) ==
         TRUE;
}

void PanelTest::CreateSheet(SheetHost& sheet) {
  auto name = Export<GetHWPPNameFn>(kGetHWPPNameName);
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(CreatePage(sheet, i)) << i;
    BSTR text = nullptr;
    ASSERT_EQ(name(i, &text), TRUE);
    auto* tabs = sheet.Dialog()->findChild<QTabWidget*>();
    tabs->setTabText(i, QString::fromStdU16String(std::u16string(BstrView(text))));
    SysFreeString(text);
  }
}

// ---- PanelTest

void PanelTest::SetUp() {
  SetEnv("QT_QPA_PLATFORM", "offscreen");
  SetEnv("LC_ALL", Locale());
  SetEnv("LANG", Locale());
  UnsetEnv("LC_MESSAGES");
  static int argc = 1;
  static char name[] = "setpanel_tests";
  static char* argv[] = {name, nullptr};
  app_ = std::make_unique<QApplication>(argc, argv);
  QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  com_ = std::make_unique<ComInit>(COINIT_MULTITHREADED);
  ASSERT_EQ(RegisterRzdHalProxyStub(), S_OK);

  const std::string server = "\"" + (BinaryDir() / "panel_hal_server").string() + "\" --clsid " + FormatGuidA(kPanelHalClass);
  RegKey key;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine, u"SOFTWARE\\Classes\\CLSID\\" + FormatGuid(kPanelHalClass) + u"\\LocalServer32", &key), 0u);
  key.SetString(u"", FromUtf8(server));
  RegKey unit;
  ASSERT_EQ(RegKey::Create(Hive::LocalMachine, std::u16string(lowdrv::kImageClassKey) + u"\\0000", &unit), 0u);
  unit.SetString(u"HAL_CLSID", PanelDevice());
  unit.SetString(u"FriendlyName", kUnitFriendlyName);
  unit.SetString(u"HAL_MODEL", lowdrv::kModelName);
  unit.SetString(u"SymbolicName", u"\\\\?\\usb#vid_2e5a&pid_0148#5&1a2b3c&0&2#{6bdd1fc6-810f-11d0-bec7-08002be2092f}");
  unit.SetString(u"FIRMWARE_UPDATER", u"FWUpdater\\rzd-fwupdater");

  fs::create_directories(SystemRoot() / "panel-hal");
  WriteDocument("info.xml", DefaultInfoDocument());
  WriteDocument("supported.xml", DefaultSupportedDocument());
  WriteDocument("current.xml", DefaultCurrentDocument());
  SetAccountRightsForTests(AccountRights::ElevatedAdministrator);
}

void PanelTest::TearDown() {
  if (loader_) loader_->unload();
  loader_.reset();
  if (library_) library_->unload();
  library_.reset();
  com_.reset();
  app_.reset();
}

ComPtr<IRZDHAL> PanelTest::Service() {
  ComPtr<IRZDHAL> hal;
  EXPECT_EQ(CoCreateInstance(kPanelHalClass, nullptr, CLSCTX_LOCAL_SERVER, IID_IRZDHAL, hal.OutVoid()), S_OK);
  return hal;
}

std::vector<std::string> PanelTest::Calls() {
  std::vector<std::string> lines;
  std::ifstream in(SystemRoot() / "panel-hal" / "calls.log");
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

void PanelTest::ClearCalls() {
  std::error_code ec;
  fs::remove(SystemRoot() / "panel-hal" / "calls.log", ec);
}

void PanelTest::SetAnswers(const std::string& lines) { WriteDocument("answers", lines); }

void PanelTest::WriteDocument(const char* name, const std::string& text) {
  std::ofstream out(SystemRoot() / "panel-hal" / name, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string PanelTest::ReadDocument(const char* name) {
  std::ifstream in(SystemRoot() / "panel-hal" / name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

QObject* PanelTest::Plugin() {
  if (!loader_) {
    loader_ = std::make_unique<QPluginLoader>(QStringLiteral(RZD_SETPANEL_PATH));
  }
  QObject* instance = loader_->instance();
  EXPECT_NE(instance, nullptr) << loader_->errorString().toStdString();
  return instance;
}

QWidget* PanelTest::OpenPluginPanel() {
  auto* base = As<ICorModuleBase>();
  base->setGuid(QString::fromStdU16String(PanelDevice()));
  ComPtr<IRZDHAL> hal = Service();
  base->setModule_Instance(hal.Get());
  return As<ICorModuleCfgPanel>()->getCfgPanelUI(0);
}

void PanelTest::LoadLibrary() {
  if (library_) return;
  library_ = std::make_unique<QLibrary>(QStringLiteral(RZD_SETPANEL_PATH));
  EXPECT_TRUE(library_->load()) << library_->errorString().toStdString();
}

fs::path PanelTest::HwPropsPath() const {
  return KnownFolderPath(KnownFolder::ProgramFilesX86) / "Corvanite" / "M48tz" / "HWProps.ini";
}

std::vector<std::string> PanelTest::HwPropsLines() const {
  std::vector<std::string> lines;
  std::ifstream in(HwPropsPath(), std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  std::string raw = bytes.str();
  if (raw.size() < 2) return lines;
  std::u16string text;
  for (size_t i = 2; i + 1 < raw.size(); i += 2) {
    text.push_back(static_cast<char16_t>(static_cast<uint8_t>(raw[i]) | (static_cast<uint8_t>(raw[i + 1]) << 8)));
  }
  std::istringstream in8(ToUtf8(text));
  std::string line;
  while (std::getline(in8, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find('=') != std::string::npos) lines.push_back(line);
  }
  return lines;
}

void PanelTest::Picture(QWidget* widget, const std::string& name, QWidget* tipOf) {
  widget->adjustSize();
  widget->show();
  Pump(50);
  QImage image = FramedGrab(widget);
  if (tipOf != nullptr && !tipOf->toolTip().isEmpty()) {
    // The tooltip as the pointer resting on the control shows it, below and right of its middle.
    QPainter painter(&image);
    const int bar = widget->isWindow() ? 30 : 0;
    const QPoint at = tipOf->mapTo(widget, QPoint(tipOf->width() / 2, tipOf->height())) + QPoint(1, bar + 4);
    QFont font = QToolTip::font();
    painter.setFont(font);
    const QRect text = painter.fontMetrics().boundingRect(QRect(0, 0, 360, 400), Qt::TextWordWrap, tipOf->toolTip());
    QRect box(at, text.size() + QSize(12, 8));
    if (box.right() > image.width() - 12) box.moveRight(image.width() - 12);
    painter.setPen(QColor(0x76, 0x7C, 0x84));
    painter.setBrush(QColor(0xFF, 0xFF, 0xE1));
    painter.drawRect(box);
    painter.setPen(QColor(0x20, 0x20, 0x20));
    painter.drawText(box.adjusted(6, 4, -6, -4), Qt::TextWordWrap, tipOf->toolTip());
  }
  EXPECT_TRUE(image.save(QString::fromStdString((PicturesDir() / (name + ".png")).string())));
}

void PanelTest::Pump(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

}  // namespace rzd::test
