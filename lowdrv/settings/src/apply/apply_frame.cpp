// Frames of a client's settings document (thousandths of an inch).
#include "apply/apply_run.h"
#include "apply/id_chain.h"
#include "apply/store_walk.h"
#include "platform/text.h"

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

namespace rzd::lowdrv::apply {

namespace {

constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();

// The integer text of the node `path` selects from the current node (with _wtoi rules), or
// nullopt when there is no such node.
std::optional<int64_t> IntAt(MSXML6StoreBSTR& store, std::u16string_view path) {
  auto text = TextAt(store, path);
  if (!text) return std::nullopt;
  return WToI(*text);
}

// The document source's limits of one frame.
struct FrameLimits {
  int64_t width = 0;      // W
  int64_t maxLength = 0;  // Lmax
  int64_t minWidth = 0;   // MW
  int64_t minLength = 0;  // ML
};

// The image sources set under the document source, in the supported document as it stood.
int CountSetImageSources(ApplyRun& run, const std::u16string& sourceChain) {
  MSXML6StoreBSTR* before = run.Before();
  if (before == nullptr || !before->SelectNode(sourceChain)) return 0;
  if (!before->SelectNode(u".//Item [@Name='ImageSource'][@IsSet='true']")) return 0;
  int count = 1;
  while (before->MoveToNextNode()) ++count;
  return count;
}

// Lmax, with the limits node current in the scratch store. False with the failure logged.
bool MaximumLength(ApplyRun& run, const std::u16string& chain, const std::u16string& sourceChain,
                   int64_t resolution, int64_t& lmax) {
  MSXML6StoreBSTR& sc = run.scratch;
  auto longLength = IntAt(sc, u"LongLength");
  auto lines = IntAt(sc, u"LongLengthLines");
  std::optional<int64_t> atDpi;
  int64_t simplexThreshold = 0;
  int64_t duplexThreshold = 0;
  {
    SavedContext limits(sc);
    if (sc.SelectNode(u"LongLengthAtDPI")) {
      atDpi = WToI(CurrentText(sc).value_or(u""));
      simplexThreshold = sc.GetAttributeInt(u"SimplexResolution", 0);
      duplexThreshold = sc.GetAttributeInt(u"DuplexResolution", 0);
    }
    limits.Restore();
  }

  if (lines && resolution > 0) {
    lmax = *lines * 1000 / resolution;
    if (longLength && *longLength < lmax) lmax = *longLength;
  } else if (atDpi && resolution > 0) {
    const int sources = CountSetImageSources(run, sourceChain);
    const int64_t threshold = sources < 2 ? simplexThreshold : duplexThreshold;
    lmax = resolution >= threshold ? *atDpi : longLength.value_or(*atDpi);
  } else if (longLength) {
    lmax = *longLength;
  } else if (atDpi) {
    lmax = *atDpi;
  } else if (lines) {
    lmax = *lines;
  } else if (auto length = IntAt(sc, u"Length")) {
    lmax = *length;
  } else {
    RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed because of bad Supported settings(Frame.Length) - %s",
                     chain.c_str());
    return false;
  }
  lmax = std::min(lmax, kInt32Max);  // every length is written and read back as 32 bits
  return true;
}

// Writes one frame value to the scratch frame (current); false with the failure logged.
bool WriteValue(ApplyRun& run, const char16_t* name, int64_t value, const std::u16string& chain) {
  if (run.scratch.SetNodeText(name, FormatW(u"%lld", static_cast<long long>(value)))) return true;
  RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed to set Frame.%s - %s", name, chain.c_str());
  return false;
}

uint32_t ApplyOneFrame(ApplyRun& run) {
  MSXML6StoreBSTR& in = run.incoming;
  MSXML6StoreBSTR& sc = run.scratch;
  std::vector<ChainStep> steps;
  if (!NodeChainSteps(in, steps)) return kApplyOk;
  const std::u16string chain = JoinChain(steps);
  if (!sc.SelectNode(chain)) {
    RZD_LOG_INFO_OF(run.log, u"SetCurrent skipping %s", chain.c_str());
    return kApplyOk;
  }
  const int64_t top = IntAt(in, u"Top").value_or(-1);
  const int64_t left = IntAt(in, u"Left").value_or(-1);
  const int64_t width = IntAt(in, u"Width").value_or(-1);
  const int64_t length = IntAt(in, u"Length").value_or(-1);
  const int64_t resolution = IntAt(sc, u"../Resolutions/Enum/Value[@IsCurrent=\"true\"]").value_or(0);

  // The document source's Limits: the chain up to the first ImageSources step, then "/Limits".
  auto sources = std::find_if(steps.begin(), steps.end(), [](const ChainStep& s) { return s.name == u"ImageSources"; });
  const std::u16string sourceChain = JoinChain(steps, static_cast<size_t>(sources - steps.begin()));
  if (sources == steps.end() || !sc.SelectNode(sourceChain + u"/Limits")) {
    RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed because of bad Supported settings XML - %s", chain.c_str());
    return kApplyInternal;
  }
  FrameLimits lim;
  if (auto w = IntAt(sc, u"Width")) {
    lim.width = *w;
  } else {
    RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed because of bad Supported settings(Frame.Width) - %s", chain.c_str());
    return kApplyInternal;
  }
  if (!MaximumLength(run, chain, sourceChain, resolution, lim.maxLength)) return kApplyInternal;
  if (auto mw = IntAt(sc, u"MinWidth")) {
    lim.minWidth = *mw;
  } else {
    RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed because of bad Supported settings(Frame.MinWidth) - %s",
                     chain.c_str());
    return kApplyInternal;
  }
  if (auto ml = IntAt(sc, u"MinLength")) {
    lim.minLength = *ml;
  } else {
    RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed because of bad Supported settings(Frame.MinLength) - %s",
                     chain.c_str());
    return kApplyInternal;
  }
  // Limits that leave no valid frame would turn every frame into nonsense.
  if (lim.minWidth < 1 || lim.minLength < 1 || lim.width < lim.minWidth || lim.maxLength < lim.minLength ||
      !sc.SelectNode(chain)) {
    RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed because of bad Supported settings - %s", chain.c_str());
    return kApplyInternal;
  }

  // All sums in 64 bits: a client's values are 32-bit and may sit at either end.
  int64_t newTop = top;
  if (newTop < 0 || newTop > lim.maxLength - lim.minLength) {
    RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed because of bad Frame.Top value - %s", chain.c_str());
    run.adjusted = true;
    newTop = 0;
  }
  if (!WriteValue(run, u"Top", newTop, chain)) return kApplyInternal;

  int64_t newLeft = left;
  if (newLeft < 0 || newLeft > lim.width - lim.minWidth) {
    RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed because of bad Frame.Left value - %s", chain.c_str());
    run.adjusted = true;
    newLeft = 0;
  }
  if (!WriteValue(run, u"Left", newLeft, chain)) return kApplyInternal;

  int64_t newLength = length;
  if (newLength < lim.minLength || newTop + newLength > lim.maxLength) {
    RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed because of bad Frame.Length value - %s", chain.c_str());
    run.adjusted = true;
    newLength = newTop + newLength > lim.maxLength ? lim.maxLength - newTop : lim.minLength;
  }
  if (!WriteValue(run, u"Length", newLength, chain)) return kApplyInternal;

  int64_t newWidth = width;
  if (newWidth < lim.minWidth || newLeft + newWidth > lim.width) {
    RZD_LOG_ERROR_OF(run.log, u"SetCurrent failed because of bad Frame.Width value - %s", chain.c_str());
    run.adjusted = true;
    newWidth = newLeft + newWidth > lim.width ? lim.width - newLeft : lim.minWidth;
  }
  if (!WriteValue(run, u"Width", newWidth, chain)) return kApplyInternal;

  // Over-scan choices: empty (or missing) means "Off"; an unknown value leaves the supported one.
  // Only a supported side that offers over-scan takes a choice: where the supported document
  // carries no OverScan (hardware crop switched off), none is introduced.
  static constexpr std::array<const char16_t*, 4> kSides = {u"Top", u"Left", u"Width", u"Length"};
  for (const char16_t* side : kSides) {
    SavedContext inFrame(in);
    SavedContext scFrame(sc);
    if (in.SelectNode(side)) {
      std::u16string choice = AttributeOf(in, u"OverScan").value_or(u"");
      if (choice.empty()) choice = u"Off";
      bool known = choice == u"Off" || choice == u"On" || choice == u"Auto";
      if (known && sc.SelectNode(side) && AttributeOf(sc, u"OverScan")) {
        if (!sc.SetAttribute(u"OverScan", choice)) return kApplyInternal;
      }
    }
    inFrame.Restore();
    scFrame.Restore();
  }
  return kApplyOk;
}

}  // namespace

uint32_t ApplyFrames(ApplyRun& run) {
  return ForEachSelected(run.incoming, u"//Frame", [&] { return ApplyOneFrame(run); });
}

}  // namespace rzd::lowdrv::apply
