// The scripted TWAIN data source (rzdtwainds.so): where its script and its triplet log live,
// a builder tests use to write the script, and a reader of the log.
//
// The source reads its script, an INI file, each time a session asks for its identity (the first
// call of every session), and appends one line per triplet it receives to its log, in the order
// received: "<numbers>[#0x<cap>] <names>[#0x<cap>] rc=<rc> cc=<cc>[ <detail>]", the numbers as
// "0x0002/0x0108/0x0006" (data group, data argument type, message in hexadecimal) and the names
// as "DG_IMAGE/DAT_RGBRESPONSE/MSG_SET"; the calls it makes itself to the source manager are
// logged as "callback <numbers> <names> rc=<rc>". Tests compare the numbers: the names come from
// the same header as the values and would hide a wrong one. Details of note: DAT_CUSTOMDSDATA
// logs "length=<InfoLength> data=<the text in hData's global memory>" (or "data=unreadable" for a
// handle that is no global memory, which it refuses), the source's own user-interface messages
// "data=0x<the pointer received>", the extended image information "infos=<n> handles=<m>" (m
// handles of global memory handed out in the entries).
//
// Script, section [Source] (every key optional):
//   Sheets=3              sheets in the feeder (default 1)
//   Duplex=1              CAP_DUPLEXENABLED at start: two sides per sheet (default 0)
//   PixelType=2           ICAP_PIXELTYPE at start: 0 black and white, 1 grey, 2 colour (default 2)
//   BitDepth=48           bits per pixel of every image (default 1, 8 or 24 by pixel type)
//   Compression=6         ICAP_COMPRESSION at start: 0 none, 6 JPEG (default 0)
//   Resolution=100        ICAP_XRESOLUTION and ICAP_YRESOLUTION at start, per inch (default 300)
//   Frame=0,0,1,0.5       the image layout at start, in inches (default 0,0,8.5,11)
//   Units=1               the units ICAP_UNITS offers, the first one current (default 0,1,2,3,4,5,6)
//   Unsupported=0x100B    capabilities answered with TWCC_CAPUNSUPPORTED
//   Signal=callback       how the source announces a transfer or a close request: "message"
//                         (posted to the thread that enabled it, handed back through
//                         MSG_PROCESSEVENT; the default), "callback" (DSM_Entry with DAT_NULL
//                         from the source's own thread), "invoke" (DAT_CALLBACK with
//                         MSG_INVOKE_CALLBACK from its own thread) or "none"
//   Announce=closedsreq   what it announces when enabled: "xferready" (default) or "closedsreq"
//   NoDS2=1               the identity lacks DF_DS2
//   ClaimExtraBytes=100   every memory transfer reports this many bytes more in BytesWritten than
//                         it wrote (a source that overstates what it delivered)
//   ReportedWidth=0       DAT_IMAGEINFO answers this ImageWidth whatever the image is
//   ReportedLength=1      and this ImageLength (a long document whose length is not known yet)
//   SourceNames=Flatbed,ADF Front,ADF Back
//                         the source's scan sources (capability 0x8021): a text enumeration, the
//                         first one current; without it 0x8021 is kept as the application sets it
//   SourceNameType=9      the item type of that enumeration (default 12, TW_STR255)
//   CameraEnabled=ADF Back
//                         the scan sources for which CAP_CAMERAENABLED reads TRUE (default none)
//   PrinterText=Batch 7   TWEI_PRINTERTEXT of every page, a TW_STR255 entry whose Item is a handle
//                         of global memory holding the UTF-8 text (the application frees it)
//   UnavailableInfo=0x123B
//                         extended information entries answered TWRC_DATANOTAVAILABLE (their
//                         Item holds garbage); entries the source does not know answer
//                         TWRC_INFONOTSUPPORTED
//
// Raw images carry the simulated unit's pattern line by line (engine/page_pattern.h); a 24-bit
// colour pixel is delivered blue first, as the model's source delivers it (SourceLine). JPEG
// images are whole streams encoded from the pattern lines read as red, green, blue.
// Section [Fail]: key = a logged triplet by its numbers ("0x0001/0x0001/0x0006#0x1118"), value =
// "rc,cc" or "rc,cc,n" (only the n-th such call, from 1) or "throw" / "throw,n" (the entry
// point raises an exception). A return code of 1 (failure) or 3 (cancel) refuses the call; any
// other is answered instead of success after the call has done its work.
// Section [Broken]: key = a capability id ("0x0102"), value = what MSG_GET and MSG_GETCURRENT
// answer for it: "zerostep" (a range with step 0), "hugecount" (an enumeration claiming
// 0x7FFFFFFF items), "hugerange" (a TW_UINT32 range of 0xFFFFFFF1 values, current 7), "badindex" (CurrentIndex past the items), "shorthandle" (more items than
// its memory holds), "unterminated" (a TW_STR32 enumeration without terminators) or "foreign"
// (a container handle that is no global memory).
#pragma once

#include "apphal/twain_protocol.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace rzd::twainds {

// SystemRoot()/twainds, and the script and log in it.
std::filesystem::path DataFolder();
std::filesystem::path ScriptPath();
std::filesystem::path LogPath();

// "DG_CONTROL/DAT_CAPABILITY/MSG_SET"; unknown values as 0x-prefixed hex.
std::string TripletName(TW_UINT32 dataGroup, TW_UINT16 dataArgumentType, TW_UINT16 message);
// The triplet with a capability: "DG_CONTROL/DAT_CAPABILITY/MSG_SET#0x1118".
std::string CapabilityTripletName(TW_UINT16 message, TW_UINT16 capability);
// The same by number: "0x0001/0x0001/0x0006", and "0x0001/0x0001/0x0006#0x1118".
std::string TripletNumbers(TW_UINT32 dataGroup, TW_UINT16 dataArgumentType, TW_UINT16 message);
std::string CapabilityTripletNumbers(TW_UINT16 message, TW_UINT16 capability);

// The bytes the source delivers for one raw line of `bytesPerRow` bytes of `width` pixels of
// `bitsPerPixel` bits: the pattern line, with the first and third byte of each pixel exchanged
// at 24 bits per pixel.
std::vector<uint8_t> SourceLine(uint32_t sheet, uint32_t side, uint32_t line, uint32_t bytesPerRow, uint32_t width,
                                uint32_t bitsPerPixel);
void FillSourceLine(uint32_t sheet, uint32_t side, uint32_t line, uint8_t* out, uint32_t bytesPerRow, uint32_t width,
                    uint32_t bitsPerPixel);

// The samples of a JPEG stream the source delivered, with its size and components; empty when
// the stream does not decode.
std::vector<uint8_t> DecodeJpeg(const std::vector<uint8_t>& stream, uint32_t* width, uint32_t* height,
                                int* components);

// Writes the script for the source, replacing any earlier one.
class ScriptBuilder {
 public:
  ScriptBuilder& Source(std::string_view key, std::string_view value);
  ScriptBuilder& Fail(std::string_view triplet, std::string_view answer);
  ScriptBuilder& Broken(TW_UINT16 capability, std::string_view kind);
  // False when the file cannot be written.
  bool Write() const;

 private:
  std::vector<std::pair<std::string, std::string>> source_, fail_, broken_;
};

// One line of the log.
struct LoggedTriplet {
  bool callback = false;  // a call the source made to the source manager
  std::string triplet;    // by number, with "#0x<cap>" for capability triplets
  std::string name;       // by name, likewise
  TW_UINT16 rc = 0;
  TW_UINT16 cc = 0;
  std::string detail;
};
std::vector<LoggedTriplet> ReadTripletLog();
// Forgets the log (a test that looks at one part of a session).
void ClearTripletLog();

}  // namespace rzd::twainds
