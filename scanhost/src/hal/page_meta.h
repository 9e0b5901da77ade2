// What the service makes of a driver read's page document: the description of the block it went
// into, and the metadata record a Read leaves in the client's metadata buffer.
#pragma once

#include "foundation/log_client.h"
#include "hal/page_values.h"
#include "interfaces/raster_buffers.h"
#include "platform/types.h"

#include <cstdint>
#include <string>
#include <vector>

namespace rzd::scanhost {

// Sets the descriptor's properties from the page document's values. `first`: the first
// read into the block (LineOffset is taken, NumberOfLines set rather than added to). *duplex is
// set when the page's ScanMode is "Duplex". False (with an error line on `log`) when one of the
// format values, the side or the scan mode is missing.
bool CopyMetaToRasterBlock(const PageValues& values, IRasterBlockDescriptor* descriptor, bool first, bool* duplex,
                           const CLogClient& log);

// The XML of the Operation document: a copy of each page document, in order. A page of the plain
// shape is copied as it is written; any other is parsed (one that does not parse is left out).
std::u16string MakeOperationText(const std::vector<Bstr>& pages);

// The side kind of an Operation document, from the values of its first page: 0 simplex front,
// 1 simplex back, 2 any other case (also for an Operation without pages).
uint64_t SideKindOf(const PageValues* firstPage);

// The metadata record: five little-endian 64-bit values (text offset 40, text size with its
// terminator, data offset, data size, side kind), the text as UTF-16 with its terminator, then the
// data.
std::vector<uint8_t> MakeMetaRecord(const std::u16string& text, const std::vector<uint8_t>& data, uint64_t kind);

}  // namespace rzd::scanhost
