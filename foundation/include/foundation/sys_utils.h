// All system utilities of the foundation.
#pragma once

#include "foundation/com_utils.h"
#include "foundation/folders.h"
#include "foundation/install_log.h"
#include "foundation/message_wait.h"
#include "foundation/module_info.h"
#include "foundation/process_utils.h"
#include "foundation/service_utils.h"
#include "foundation/string_utils.h"
