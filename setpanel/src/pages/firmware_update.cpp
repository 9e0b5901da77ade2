// Page 0: the firmware row. The updater is an outside program named by the unit's
// FIRMWARE_UPDATER value; the page waits for it through the event loop, so the panel stays
// responsive, and keeps the "Update" button disabled while the updater lives.
#include "../shell/module.h"
#include "foundation/folders.h"
#include "foundation/func_trace.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace rzd::panel {

namespace {
// How long the page waits for the updater before it stops waiting (the updater may go on).
constexpr int kUpdaterWaitMs = 300 * 1000;
}  // namespace

void CHScannerQTModule::FillFirmwareRow(const std::u16string& firmware, const std::u16string& defaultFirmware) {
  Ui::CHScannerQTModuleConfigPanel& ui = *config_;
  {
    const QSignalBlocker quiet(ui.m_chkFW);
    ui.m_chkFW->setChecked(NotAsking());
  }
  firmwarePreferenceKnown_ = true;
  const bool outOfDate = !defaultFirmware.empty() && defaultFirmware != firmware;
  const bool enable = outOfDate && IsRunningAsAdmin() && updater_ == nullptr;
  ui.m_btnUpdateFirmware->setEnabled(enable);
  if (enable) {
    ui.m_btnUpdateFirmware->setToolTip(QCoreApplication::translate(
        "CHScannerQTModule", "If the scanner's firmware version is out of date, click this button to update the scanner"));
  }
}

void CHScannerQTModule::on_m_chkFW_stateChanged(int) {
  firmwarePreferenceKnown_ = true;
  MarkChanged();
}

void CHScannerQTModule::on_m_btnUpdateFirmware_clicked() {
  if (updater_ != nullptr || !hal_ || !config_) return;
  std::filesystem::path folder;
  GetCommonFilesX86Folder(&folder);
  std::u16string relative = identity_.firmwareUpdater;
  for (char16_t& c : relative) {
    if (c == u'\\') c = u'/';
  }
  while (!relative.empty() && relative.front() == u'/') relative.erase(0, 1);
  if (relative.empty()) return;  // no updater named: nothing to run
  const QString program = QString::fromStdString((folder / relative).string());
  RZD_LOG_INFO(u"Starting the firmware updater %s", program.toStdU16String().c_str());
  config_->m_btnUpdateFirmware->setEnabled(false);
  auto* process = new QProcess(this);
  process->setProgram(program);
  process->setArguments({QString::fromStdU16String(identity_.symbolicName)});
  process->setWorkingDirectory(QFileInfo(program).absolutePath());
  process->setProcessChannelMode(QProcess::ForwardedChannels);
  connect(process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this, &CHScannerQTModule::OnUpdaterFinished);
  connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart) return;
    RZD_LOG_ERROR(u"The firmware updater did not start");
    process->deleteLater();
    updater_ = nullptr;
    if (config_) config_->m_btnUpdateFirmware->setEnabled(true);
  });
  QTimer::singleShot(kUpdaterWaitMs, process, [this] {
    RZD_LOG_WARN(u"The firmware updater still runs after %d seconds", kUpdaterWaitMs / 1000);
  });
  updater_ = process;
  process->start();
}

void CHScannerQTModule::OnUpdaterFinished(int exitCode, QProcess::ExitStatus status) {
  const bool updated = status == QProcess::NormalExit && exitCode == 0;
  RZD_LOG_INFO(u"The firmware updater ended with %d", exitCode);
  if (updater_ != nullptr) updater_->deleteLater();
  updater_ = nullptr;
  // Success leaves the button disabled until the page is refreshed.
  if (!updated && config_) config_->m_btnUpdateFirmware->setEnabled(true);
}

}  // namespace rzd::panel
