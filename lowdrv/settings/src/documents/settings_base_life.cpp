// CRZDScannerSettingsBase: construction, the process-wide engine records, the resource of the
// device description and the small operations of the base.
#include "lowdrv/settings/settings_base.h"

#include "platform/resources.h"

#include <cstring>
#include <mutex>

// The anchor of the generated device description (rzd_embed_resource): referencing it links the
// description into every module that uses the settings model, and names that module.
extern "C" unsigned long rzd_resource_lowdrv_settings_XML_110();

namespace rzd::lowdrv {
namespace {

// One set of engine records per process, as the driver keeps one unit per process.
struct ProcessRecords {
  std::mutex lock;
  ReduzidInq inquiry{};
  ReduzidNVMData nvm{};
  uint8_t imprInquiry[kImprInquiryRecordSize]{};
  uint8_t imprInfo[kImprInfoRecordSize]{};
  uint8_t imprNVM[kImprNVMRecordSize]{};
};

ProcessRecords& Records() {
  static ProcessRecords records;
  return records;
}

std::atomic<bool> g_settingsInitialised{false};

}  // namespace

CRZDScannerSettingsBase::CRZDScannerSettingsBase(std::u16string featureName)
    : CLogClient(std::move(featureName)), m_pSupportedStore(std::make_unique<MSXML6StoreBSTR>()) {}

CRZDScannerSettingsBase::~CRZDScannerSettingsBase() = default;

BOOL CRZDScannerSettingsBase::SettingsHookA(MSXML6StoreBSTR& /*incoming*/) { return FALSE; }

std::u16string CRZDScannerSettingsBase::GetImageSourceID() {
  return m_bAlternateSelected ? m_Alternate.ImageSourceID : m_Primary.ImageSourceID;
}

std::u16string CRZDScannerSettingsBase::GetCurrentImageSourceID() {
  return SelectedDescription().ImageSourceID;
}

bool CRZDScannerSettingsBase::LoadDescriptionResource(std::u16string& text) {
  const void* self = reinterpret_cast<const void*>(&rzd_resource_lowdrv_settings_XML_110);
  std::optional<std::u16string> found = FindUtf16TextResource(self, kSettingsResourceType, m_uSupportedResourceId);
  if (!found) return false;
  text = std::move(*found);
  return true;
}

ReduzidInq CRZDScannerSettingsBase::InquiryCopy() {
  ProcessRecords& r = Records();
  std::lock_guard<std::mutex> guard(r.lock);
  return r.inquiry;
}

ReduzidNVMData CRZDScannerSettingsBase::NVMDataCopy() {
  ProcessRecords& r = Records();
  std::lock_guard<std::mutex> guard(r.lock);
  return r.nvm;
}

void CRZDScannerSettingsBase::SetInquiryCopy(const ReduzidInq& inq) {
  ProcessRecords& r = Records();
  std::lock_guard<std::mutex> guard(r.lock);
  r.inquiry = inq;
}

void CRZDScannerSettingsBase::SetNVMDataCopy(const ReduzidNVMData& nvm) {
  ProcessRecords& r = Records();
  std::lock_guard<std::mutex> guard(r.lock);
  r.nvm = nvm;
}

void CRZDScannerSettingsBase::SetNVMDataWord(size_t offset, uint16_t value) {
  if (offset + sizeof value > sizeof(ReduzidNVMData)) return;
  ProcessRecords& r = Records();
  std::lock_guard<std::mutex> guard(r.lock);
  std::memcpy(reinterpret_cast<uint8_t*>(&r.nvm) + offset, &value, sizeof value);
}

void CRZDScannerSettingsBase::SetImprRecords(const uint8_t (&inquiry)[kImprInquiryRecordSize],
                                             const uint8_t (&info)[kImprInfoRecordSize],
                                             const uint8_t (&nvm)[kImprNVMRecordSize]) {
  ProcessRecords& r = Records();
  std::lock_guard<std::mutex> guard(r.lock);
  std::memcpy(r.imprInquiry, inquiry, sizeof r.imprInquiry);
  std::memcpy(r.imprInfo, info, sizeof r.imprInfo);
  std::memcpy(r.imprNVM, nvm, sizeof r.imprNVM);
}

void CRZDScannerSettingsBase::GetImprRecords(uint8_t (&inquiry)[kImprInquiryRecordSize],
                                             uint8_t (&info)[kImprInfoRecordSize],
                                             uint8_t (&nvm)[kImprNVMRecordSize]) {
  ProcessRecords& r = Records();
  std::lock_guard<std::mutex> guard(r.lock);
  std::memcpy(inquiry, r.imprInquiry, sizeof r.imprInquiry);
  std::memcpy(info, r.imprInfo, sizeof r.imprInfo);
  std::memcpy(nvm, r.imprNVM, sizeof r.imprNVM);
}

bool CRZDScannerSettingsBase::IsSettingsInitialised() { return g_settingsInitialised.load(); }

void CRZDScannerSettingsBase::SetSettingsInitialised(bool value) { g_settingsInitialised.store(value); }

}  // namespace rzd::lowdrv
