// The triplet table: what each session operation sends and in which states it may run.
#include "apphal/twain_session.h"

#include <array>

namespace rzd::apphal {

namespace {

using Op = TwainOperation;
constexpr uint32_t kAny = kTwainStateTransferring;

constexpr std::array kTriplets{
    TwainTriplet{Op::OpenDS, 3, 3, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS},
    TwainTriplet{Op::CloseDS, 4, kAny, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS},
    TwainTriplet{Op::EnableDS, 4, 4, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS},
    TwainTriplet{Op::DisableDS, 5, kAny, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS},
    TwainTriplet{Op::UserInterfaceMessage, 4, kAny, DG_CONTROL, DAT_USERINTERFACE, MSG_NULL},
    TwainTriplet{Op::ProcessEvent, 5, kAny, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT},
    TwainTriplet{Op::EndTransfer, 5, kAny, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER},
    TwainTriplet{Op::ResetTransfers, 5, kAny, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET},
    TwainTriplet{Op::SetupMemXfer, 4, 6, DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET},
    TwainTriplet{Op::ImageInfo, 6, kAny, DG_IMAGE, DAT_IMAGEINFO, MSG_GET},
    TwainTriplet{Op::ExtImageInfo, 6, kAny, DG_IMAGE, DAT_EXTIMAGEINFO_DS, MSG_GET},
    TwainTriplet{Op::GetImageLayout, 4, 6, DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET},
    TwainTriplet{Op::SetImageLayout, 4, 4, DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET},
    TwainTriplet{Op::MemoryTransfer, 6, 7, DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET},
    TwainTriplet{Op::SetCustomDSData, 4, 4, DG_CONTROL, DAT_CUSTOMDSDATA, MSG_SET},
    TwainTriplet{Op::SetGrayResponse, 4, 4, DG_IMAGE, DAT_GRAYRESPONSE, MSG_SET},
    TwainTriplet{Op::SetRGBResponse, 4, 4, DG_IMAGE, DAT_RGBRESPONSE, MSG_SET},
    TwainTriplet{Op::GetCapability, 4, kAny, DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT},
    TwainTriplet{Op::GetCapabilityList, 4, kAny, DG_CONTROL, DAT_CAPABILITY, MSG_GET},
    TwainTriplet{Op::SetCapability, 4, 4, DG_CONTROL, DAT_CAPABILITY, MSG_SET},
    TwainTriplet{Op::SetCapabilityString, 4, 4, DG_CONTROL, DAT_CAPABILITY, MSG_SET},
    TwainTriplet{Op::GetCapabilityStrings, 4, kAny, DG_CONTROL, DAT_CAPABILITY, MSG_GET},
};

constexpr bool InEnumOrder() {
  for (size_t i = 0; i < kTriplets.size(); ++i) {
    if (static_cast<size_t>(kTriplets[i].operation) != i) return false;
  }
  return true;
}
static_assert(InEnumOrder(), "one row per operation, in the order of TwainOperation");

}  // namespace

const TwainTriplet& TripletOf(TwainOperation operation) { return kTriplets[static_cast<size_t>(operation)]; }

}  // namespace rzd::apphal
