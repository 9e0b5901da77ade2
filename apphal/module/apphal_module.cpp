// libapphal.so, the desktop-application interface's module: it carries the type library
// (TYPELIB 1), the picture strip (BITMAP 201) and the icon (GROUP_ICON 202) as resources.
#include "apphal/model_ids.h"
