// Enumerations and lists of a client's settings document.
#include "apply/apply_run.h"
#include "apply/id_chain.h"
#include "apply/store_walk.h"

namespace rzd::lowdrv::apply {

namespace {

// Removes `name` from every element child of the current node.
void RemoveFromChildren(MSXML6StoreBSTR& store, std::u16string_view name) {
  ForEachSelected(store, u"*", [&]() -> uint32_t {
    store.RemoveAttribute(name);
    return 0;
  });
}

// Gives the first node `path` selects from the current node `attribute`="true".
bool MarkFirstWith(MSXML6StoreBSTR& store, std::u16string_view path, std::u16string_view attribute) {
  return store.SelectNode(path) && store.SetAttribute(attribute, u"true");
}

uint32_t ApplyOneEnum(ApplyRun& run) {
  MSXML6StoreBSTR& in = run.incoming;
  MSXML6StoreBSTR& sc = run.scratch;
  std::u16string chain;
  if (!SelectCounterpart(run, chain)) return kApplyOk;
  SavedContext scratchEnum(sc);
  if (!Exists(sc, u"node()")) {
    RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed because of bad Supported settings XML - %s", chain.c_str());
    return kApplyInternal;
  }
  RemoveFromChildren(sc, u"IsCurrent");
  scratchEnum.Restore();
  if (!Exists(in, u"node()")) {
    RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed because of bad Enum (no items)- %s", chain.c_str());
    return kApplyBadDocument;
  }

  bool taken = false;
  uint32_t code = ForEachSelected(in, u"*[@IsCurrent=\"true\"]", [&]() -> uint32_t {
    if (taken) {
      RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed because of bad Enum (more then one current value)- %s",
                       chain.c_str());
      run.adjusted = true;
      return kStopWalk;  // the rest of the children is ignored
    }
    std::u16string valueChain;
    if (!NodeIdChain(in, valueChain) || !sc.SelectNode(valueChain)) {
      RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed because of bad Enum (bad tag)- %s", valueChain.c_str());
      return kApplyBadDocument;
    }
    auto wanted = CurrentText(in);
    if (!wanted || wanted->empty()) {
      RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed because of bad Enum (bad value)- %s", valueChain.c_str());
      return kApplyBadDocument;
    }
    // The supported values at that chain, in order; the first equal one becomes current.
    do {
      auto offered = CurrentText(sc);
      if (!offered || offered->empty()) {
        RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed because bad Supported settings XML- %s", valueChain.c_str());
        return kApplyInternal;
      }
      if (*offered == *wanted) {
        if (!sc.SetAttribute(u"IsCurrent", u"true")) return kApplyInternal;
        taken = true;
        break;
      }
    } while (sc.MoveToNextNode());
    return 0;
  });
  if (code != kApplyOk && code != kStopWalk) return code;

  if (!taken) {
    RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed because of bad Enum (no current value)- %s", chain.c_str());
    // The default becomes current; a supported enumeration without one falls back to its first
    // value, so that it always keeps exactly one current value.
    scratchEnum.Restore();
    if (!MarkFirstWith(sc, u"*[@IsDefault]", u"IsCurrent")) {
      scratchEnum.Restore();
      if (!MarkFirstWith(sc, u"*", u"IsCurrent")) {
        RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed because of bad Supported settings XML - %s", chain.c_str());
        return kApplyInternal;
      }
    }
    run.adjusted = true;
  }
  return kApplyOk;
}

uint32_t ApplyOneList(ApplyRun& run) {
  MSXML6StoreBSTR& in = run.incoming;
  MSXML6StoreBSTR& sc = run.scratch;
  std::u16string chain;
  if (!SelectCounterpart(run, chain)) return kApplyOk;
  SavedContext scratchList(sc);
  if (!Exists(sc, u"node()")) return kApplyOk;
  ForEachSelected(sc, u"*", [&]() -> uint32_t {
    sc.RemoveAttribute(u"IsSet");
    sc.RemoveAttribute(u"IsSelected");
    return 0;
  });

  bool anySet = false;
  uint32_t code = ForEachSelected(in, u"*", [&]() -> uint32_t {
    std::u16string itemChain;
    if (!NodeIdChain(in, itemChain)) return 0;
    if (AttributeIs(in, u"IsSet", u"true")) {
      if (!sc.SelectNode(itemChain)) {
        RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed because of bad List (bad tag)- %s", itemChain.c_str());
        return kApplyBadDocument;
      }
      if (!AttributeOf(in, u"ID")) {
        RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed because of bad List (no ID)- %s", itemChain.c_str());
        return kApplyBadDocument;
      }
      if (!sc.SetAttribute(u"IsSet", u"true")) return kApplyInternal;
      anySet = true;
    }
    auto kind = AttributeOf(in, u"Name");
    bool selectable = kind && (*kind == u"Stream" || *kind == u"ImageSource" || *kind == u"DocumentSource");
    if (selectable && AttributeIs(in, u"IsSelected", u"true") && sc.SelectNode(itemChain)) {
      if (!sc.SetAttribute(u"IsSelected", u"true")) return kApplyInternal;
    }
    return 0;
  });
  if (code != 0) return code;

  if (!anySet) {
    scratchList.Restore();
    MarkFirstWith(sc, u"*[@IsSetByDefault]", u"IsSet");
  }
  return kApplyOk;
}

}  // namespace

uint32_t ApplyEnums(ApplyRun& run) {
  return ForEachSelected(run.incoming, u"//Enum", [&] { return ApplyOneEnum(run); });
}

uint32_t ApplyLists(ApplyRun& run) {
  return ForEachSelected(run.incoming, u"//List[node()]", [&] { return ApplyOneList(run); });
}

}  // namespace rzd::lowdrv::apply
