// ID chains: the absolute XPath that names a node of a settings document. Nodes of two settings
// documents correspond when their chains are equal.
//
// Each step, from the document element down to the node, is "/" and the element name, then
// [@ID=...] when the element has an ID attribute, then [@DependsOnValue=...] when it has that
// attribute; the values are XPath literals, so any value selects only itself.
#pragma once

#include "foundation/xml_store.h"

#include <string>
#include <vector>

namespace rzd::lowdrv::apply {

struct ChainStep {
  std::u16string name;  // the element name
  std::u16string text;  // the whole step, "/" included
};

// The steps of the store's current element, outermost first. The store's context is kept. False
// without a current node or when a name cannot be read.
bool NodeChainSteps(MSXML6StoreBSTR& store, std::vector<ChainStep>& steps);

// The first `count` steps joined (all by default).
std::u16string JoinChain(const std::vector<ChainStep>& steps, size_t count = SIZE_MAX);

// The chain of the store's current element; false as NodeChainSteps.
bool NodeIdChain(MSXML6StoreBSTR& store, std::u16string& chain);

}  // namespace rzd::lowdrv::apply
