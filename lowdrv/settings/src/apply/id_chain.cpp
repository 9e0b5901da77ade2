// ID chains of settings-document nodes.
#include "apply/id_chain.h"

#include "apply/store_walk.h"
#include "apply/xpath_literal.h"

#include <algorithm>

namespace rzd::lowdrv::apply {

namespace {

// Appends the steps from the current node up to the document element (innermost first); moves
// the store's context.
bool WalkUp(MSXML6StoreBSTR& store, std::vector<ChainStep>& steps) {
  for (;;) {
    Bstr name;
    if (!store.GetNodeName(name)) return false;
    if (name.View() == u"#document") return true;
    if (name.View().empty() || name.View().front() == u'#') return false;  // not an element
    ChainStep step;
    step.name = name.Str();
    step.text = u"/" + step.name;
    Bstr value;
    if (store.GetNodeAttribute(u"ID", value)) step.text += u"[@ID=" + XPathLiteral(value.View()) + u"]";
    if (store.GetNodeAttribute(u"DependsOnValue", value)) {
      step.text += u"[@DependsOnValue=" + XPathLiteral(value.View()) + u"]";
    }
    steps.push_back(std::move(step));
    if (!store.MoveToParent()) return false;  // a node outside any document
  }
}

}  // namespace

bool NodeChainSteps(MSXML6StoreBSTR& store, std::vector<ChainStep>& steps) {
  steps.clear();
  SavedContext here(store);
  if (!here.Saved()) return false;
  bool complete = WalkUp(store, steps);
  here.Restore();
  if (!complete) {
    steps.clear();
    return false;
  }
  std::reverse(steps.begin(), steps.end());
  return !steps.empty();
}

std::u16string JoinChain(const std::vector<ChainStep>& steps, size_t count) {
  std::u16string chain;
  count = std::min(count, steps.size());
  for (size_t i = 0; i < count; ++i) chain += steps[i].text;
  return chain;
}

bool NodeIdChain(MSXML6StoreBSTR& store, std::u16string& chain) {
  std::vector<ChainStep> steps;
  if (!NodeChainSteps(store, steps)) return false;
  chain = JoinChain(steps);
  return true;
}

}  // namespace rzd::lowdrv::apply
