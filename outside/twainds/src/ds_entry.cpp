// The data source's one export.
#include "data_source.h"

extern "C" __attribute__((visibility("default"))) TW_UINT16 DS_Entry(TW_IDENTITY* origin, TW_UINT32 dataGroup,
                                                                     TW_UINT16 dataArgumentType, TW_UINT16 message,
                                                                     TW_MEMREF data) {
  return rzd::twainds::DataSource::Instance().Entry(origin, dataGroup, dataArgumentType, message, data);
}
