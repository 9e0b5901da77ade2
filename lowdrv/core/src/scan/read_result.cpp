#include "scan/read_result.h"

#include "driver/xml_text.h"
#include "foundation/xml_store.h"
#include "lowdrv/core/driver_base.h"
#include "lowdrv/core/driver_model.h"
#include "platform/text.h"

#include <mutex>

namespace rzd::lowdrv {

namespace {

// Walks the element the store stands on into `nodes`; answers its index. The store ends where it
// started.
size_t Collect(MSXML6StoreSTL& store, std::vector<ReadResultTemplate::Node>& nodes) {
  ReadResultTemplate::Node node;
  store.GetNodeName(node.name);
  const size_t index = nodes.size();
  nodes.push_back(node);
  if (!store.MoveToFirstChild()) return index;
  std::vector<size_t> children;
  std::u16string text;
  do {
    std::u16string name;
    store.GetNodeName(name);
    if (name == u"#text" || name == u"#cdata-section") {
      std::u16string part;
      store.GetText(part);
      text += part;
    } else if (!name.empty() && name[0] != u'#') {
      children.push_back(Collect(store, nodes));
    }
  } while (store.MoveToNextSibling());
  store.MoveToParent();
  nodes[index].children = std::move(children);
  if (nodes[index].children.empty()) nodes[index].text = std::move(text);
  return index;
}

}  // namespace

std::unique_ptr<ReadResultTemplate> ReadResultTemplate::Parse(std::u16string_view text) {
  MSXML6StoreSTL store;
  if (!store.LoadFromString(text) || !store.SelectRoot()) return nullptr;
  // SelectRoot stands on the document element.
  auto shape = std::make_unique<ReadResultTemplate>();
  Collect(store, shape->nodes_);
  if (shape->nodes_.empty() || shape->nodes_[0].name.empty() || shape->nodes_[0].name[0] == u'#') return nullptr;
  // Paths of every node below the root.
  std::vector<std::pair<size_t, std::u16string>> pending;
  for (size_t child : shape->nodes_[0].children) pending.emplace_back(child, shape->nodes_[child].name);
  while (!pending.empty()) {
    auto [node, path] = pending.back();
    pending.pop_back();
    shape->paths_.emplace_back(path, node);
    for (size_t child : shape->nodes_[node].children) pending.emplace_back(child, path + u"/" + shape->nodes_[child].name);
  }
  return shape;
}

const ReadResultTemplate* ReadResultTemplate::Get(const void* addressInModule) {
  static std::once_flag once;
  static std::unique_ptr<ReadResultTemplate> shape;
  std::call_once(once, [addressInModule] {
    Bstr text;
    if (CRZDBaseLLD::GetXMLfromResources(addressInModule, kReadResultResourceId, text.Out()))
      shape = Parse(text.View());
  });
  return shape.get();
}

int ReadResultTemplate::Find(std::u16string_view path) const {
  for (const auto& [p, node] : paths_) {
    if (p == path) return static_cast<int>(node);
  }
  return -1;
}

ReadResult::ReadResult(const ReadResultTemplate& shape)
    : shape_(shape), values_(shape.Nodes().size()), removed_(shape.Nodes().size(), false) {}

bool ReadResult::Set(std::u16string_view path, std::u16string_view text) {
  const int node = shape_.Find(path);
  if (node < 0) return false;
  values_[static_cast<size_t>(node)] = std::u16string(text);
  return true;
}

bool ReadResult::SetInt(std::u16string_view path, int64_t value) {
  return Set(path, FormatW(u"%lld", static_cast<long long>(value)));
}

bool ReadResult::Remove(std::u16string_view path) {
  const int node = shape_.Find(path);
  if (node < 0) return false;
  removed_[static_cast<size_t>(node)] = true;
  return true;
}

void ReadResult::AddToRoot(std::u16string_view name, std::u16string_view text) {
  extra_.emplace_back(std::u16string(name), std::u16string(text));
}

void ReadResult::Write(std::u16string& out, size_t node) const {
  if (removed_[node]) return;
  const ReadResultTemplate::Node& n = shape_.Nodes()[node];
  out += u'<';
  out += n.name;
  out += u'>';
  if (n.children.empty()) {
    AppendXmlEscaped(out, values_[node] ? *values_[node] : n.text);
  } else {
    for (size_t child : n.children) Write(out, child);
  }
  if (node == 0) {
    for (const auto& [name, text] : extra_) {
      out += u'<';
      out += name;
      out += u'>';
      AppendXmlEscaped(out, text);
      out += u"</";
      out += name;
      out += u'>';
    }
  }
  out += u"</";
  out += n.name;
  out += u'>';
}

std::u16string ReadResult::Text() const {
  std::u16string out;
  out.reserve(2048);
  Write(out, 0);
  return out;
}

}  // namespace rzd::lowdrv
