#include "source_roles.h"

namespace rzd::lowdrv::window {

namespace {

bool IsFeeder(const DocumentSourceInfo& s) { return s.type == u"Feeder"; }
bool IsRearTray(const DocumentSourceInfo& s) { return s.id == u"RearTray"; }

}  // namespace

SourceRoles AssignSourceRoles(const std::vector<DocumentSourceInfo>& sources) {
  SourceRoles roles;
  switch (sources.size()) {
    case 0:
      break;
    case 1:
      roles.primary = 0;
      break;
    case 2:
      if (IsFeeder(sources[1])) {
        roles.primary = 1;
        roles.alternate = 0;
      } else {
        roles.primary = 0;
        roles.alternate = 1;
      }
      break;
    default: {
      const DocumentSourceInfo& s2 = sources[1];
      const DocumentSourceInfo& s3 = sources[2];
      size_t p = 0, a = 0, t = 0;
      if (!IsFeeder(s3)) {
        if (IsRearTray(s2)) {
          p = 0, a = 1, t = 2;
        } else {
          p = 1, a = 0, t = 2;
        }
      } else if (!IsFeeder(s2)) {
        if (IsRearTray(s3)) {
          p = 0, a = 2, t = 1;
        } else {
          p = 2, a = 0, t = 1;
        }
      } else if (IsRearTray(s2)) {
        p = 2, a = 1, t = 0;
      } else {
        p = 1, a = 2, t = 0;
      }
      roles.primary = p;
      roles.alternate = a;
      roles.third = t;
      break;
    }
  }
  return roles;
}

}  // namespace rzd::lowdrv::window
