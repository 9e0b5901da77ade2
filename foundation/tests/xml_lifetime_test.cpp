// XML store: nodes stay valid while the context, a selection or a saved context refers to them
// (run under AddressSanitizer to see a use after free), saved contexts, and copies between stores.
#include "foundation/xml_store.h"

#include "platform/text.h"
#include "xml_test_documents.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using rzd::MSXML6StoreSTL;
using rzd::XmlStoreContext;

std::u16string Name(MSXML6StoreSTL& store) {
  std::u16string name;
  EXPECT_TRUE(store.GetNodeName(name));
  return name;
}

std::u16string Text(MSXML6StoreSTL& store) {
  std::u16string text;
  EXPECT_TRUE(store.GetText(text));
  return text;
}

std::u16string DocXml(MSXML6StoreSTL& store) {
  std::u16string xml;
  EXPECT_TRUE(store.GetDocumentXML(xml));
  return xml;
}

TEST(XmlLifetime, RemovingNodesUnderALiveSelection) {
  struct Scenario {
    const char* name;
    std::function<void(MSXML6StoreSTL&)> run;
  };
  const Scenario scenarios[] = {
      {"nested nodes removed in selection order",
       [](MSXML6StoreSTL& store) {
         // The settings merge drops every element with a ModuleID; the second and third lie
         // inside the first, so they are already out of the document when their turn comes.
         ASSERT_TRUE(store.SelectNode(u"/.//*[@ModuleID]"));
         std::vector<std::u16string> removed;
         do {
           removed.push_back(Name(store) + u"=" + Text(store));
           ASSERT_TRUE(store.RemoveContextNode());
         } while (store.MoveToNextNode());
         EXPECT_EQ(removed, (std::vector<std::u16string>{u"ImageQuality=128140x", u"Extra=x", u"Inner=x"}));
         EXPECT_FALSE(store.SelectNode(u"/.//*[@ModuleID]"));
         EXPECT_EQ(DocXml(store).find(u"Brightness"), std::u16string::npos);
       }},
      {"every node of a deep selection removed, parents first",
       [](MSXML6StoreSTL& store) {
         ASSERT_TRUE(store.SelectNode(u"//Item[@ID='ADF']//*"));
         int count = 0;
         do {
           Name(store);
           ASSERT_TRUE(store.RemoveContextNode());
           ++count;
         } while (store.MoveToNextNode());
         EXPECT_GT(count, 20);
         EXPECT_TRUE(store.SelectNode(u"//Item[@ID='ADF']"));
         EXPECT_FALSE(store.MoveToFirstChild());
       }},
      {"text replaced under a saved context",
       [](MSXML6StoreSTL& store) {
         ASSERT_TRUE(store.SelectNode(u"//ImageQuality//*"));
         XmlStoreContext* saved = store.CloneContext();
         ASSERT_NE(saved, nullptr);
         ASSERT_TRUE(store.SelectNode(u"//ImageQuality"));
         ASSERT_TRUE(store.SetText(u"gone"));  // its children leave the document
         store.SetContext(saved);
         std::vector<std::u16string> names;
         do {
           names.push_back(Name(store) + u"=" + Text(store));
         } while (store.MoveToNextNode());
         EXPECT_EQ(names.front(), u"Brightness=128");
         EXPECT_EQ(names.back(), u"Inner=x");
         store.FreeContext(saved);
         EXPECT_TRUE(store.SelectNode(u"//ImageQuality[.='gone']"));
       }},
      {"node replaced by a copy while a selection holds it and its descendants",
       [](MSXML6StoreSTL& store) {
         MSXML6StoreSTL other;
         ASSERT_TRUE(other.LoadFromString(u"<ImageQuality><Fresh/></ImageQuality>"));
         ASSERT_TRUE(other.SelectRoot());
         ASSERT_TRUE(store.SelectNode(u"//ImageQuality/descendant-or-self::*"));
         ASSERT_TRUE(store.ReplaceWithCopyOf(&other));
         EXPECT_EQ(Name(store), u"ImageQuality");
         ASSERT_TRUE(store.MoveToFirstChild());
         EXPECT_EQ(Name(store), u"Fresh");
         ASSERT_TRUE(store.MoveToNextNode());  // the list still walks the replaced subtree
         EXPECT_EQ(Name(store), u"Brightness");
         ASSERT_TRUE(store.RemoveContextNode());
       }},
      {"attributes removed while the selection holds them",
       [](MSXML6StoreSTL& store) {
         ASSERT_TRUE(store.SelectNode(u"//Item/@ID"));
         std::vector<std::u16string> ids;
         do {
           ids.push_back(Text(store));
           ASSERT_TRUE(store.MoveToParent());
           ASSERT_TRUE(store.RemoveAttribute(u"ID"));
           ASSERT_TRUE(store.SetAttribute(u"ID", u"replaced"));
         } while (store.MoveToNextNode());
         EXPECT_EQ(ids.size(), 7u);
         EXPECT_EQ(ids.front(), u"Button2");
         EXPECT_FALSE(store.SelectNode(u"//Item[@ID='ADF']"));
       }},
      {"a saved context outlives a reload, a release and the store",
       [](MSXML6StoreSTL& store) {
         ASSERT_TRUE(store.SelectNode(u"//Inner"));
         XmlStoreContext* saved = store.CloneContext();
         ASSERT_TRUE(store.RemoveContextNode());
         ASSERT_TRUE(store.LoadFromString(u"<Other/>"));
         store.SetContext(saved);  // a node of the previous document, removed from it
         EXPECT_EQ(Name(store), u"Inner");
         EXPECT_EQ(Text(store), u"x");
         ASSERT_TRUE(store.SetText(u"still usable"));
         ASSERT_TRUE(store.SelectNode(u"/Other"));  // paths from "/" read the store's document
         store.ReleaseDocument();
         auto later = std::make_unique<MSXML6StoreSTL>();
         ASSERT_TRUE(later->Initialize());
         later->SetContext(saved);
         EXPECT_EQ(Name(*later), u"Inner");
         EXPECT_EQ(Text(*later), u"still usable");
         later.reset();
         store.FreeContext(saved);  // the last reference: the old document goes now
       }},
  };
  for (const Scenario& s : scenarios) {
    SCOPED_TRACE(s.name);
    MSXML6StoreSTL store;
    ASSERT_TRUE(store.LoadFromString(rzd::test::kDeviceDescription));
    s.run(store);
  }
}

TEST(XmlLifetime, SavedContexts) {
  MSXML6StoreSTL store;
  ASSERT_TRUE(store.LoadFromString(u"<a><b i='1'/><b i='2'/><b i='3'/><c/></a>"));
  EXPECT_EQ(store.CloneContext(), nullptr);  // no current node yet
  ASSERT_TRUE(store.SelectNode(u"/a/b"));
  XmlStoreContext* saved = store.CloneContext();
  ASSERT_NE(saved, nullptr);
  ASSERT_TRUE(store.SelectNode(u"/a/c"));
  store.SetContext(saved);
  EXPECT_EQ(store.GetAttributeInt(u"i", 0), 1);
  ASSERT_TRUE(store.MoveToNextNode());  // the list is the saved one, walking on
  EXPECT_EQ(store.GetAttributeInt(u"i", 0), 2);
  store.SetContext(saved);  // back to the saved node; the shared list stays where it got to
  EXPECT_EQ(store.GetAttributeInt(u"i", 0), 1);
  ASSERT_TRUE(store.MoveToNextNode());
  EXPECT_EQ(store.GetAttributeInt(u"i", 0), 3);
  store.SetContext(nullptr);  // ignored
  EXPECT_EQ(store.GetAttributeInt(u"i", 0), 3);
  store.FreeContext(saved);
  store.FreeContext(nullptr);
}

TEST(XmlLifetime, CopiesBetweenStores) {
  MSXML6StoreSTL target;
  ASSERT_TRUE(target.LoadFromString(u"<Operation/>"));
  MSXML6StoreSTL source;
  ASSERT_TRUE(source.LoadFromString(u"<Result p=\"1\"><Page>\u00e9</Page></Result>"));
  ASSERT_TRUE(source.SelectRoot());
  ASSERT_TRUE(target.SelectRoot());
  ASSERT_TRUE(target.AppendCopyOf(&source));
  ASSERT_TRUE(target.AppendCopyOf(&source));
  EXPECT_EQ(DocXml(target), u"<Operation><Result p=\"1\"><Page>\u00e9</Page></Result><Result p=\"1\"><Page>\u00e9</Page></Result></Operation>");
  source.ReleaseDocument();  // the copies are the target's own
  EXPECT_EQ(DocXml(target), u"<Operation><Result p=\"1\"><Page>\u00e9</Page></Result><Result p=\"1\"><Page>\u00e9</Page></Result></Operation>");

  // Into an empty document: the copy becomes its document element.
  MSXML6StoreSTL empty;
  ASSERT_TRUE(empty.Initialize());
  ASSERT_TRUE(target.SelectNode(u"/Operation/Result"));
  ASSERT_TRUE(empty.AppendCopyOf(&target));
  EXPECT_EQ(DocXml(empty), u"<Result p=\"1\"><Page>\u00e9</Page></Result>");
  EXPECT_FALSE(empty.AppendCopyOf(&target));  // a second document element
  EXPECT_EQ(empty.GetLastHResult(), E_FAIL);

  // Replace: the copy becomes current.
  MSXML6StoreSTL replacement;
  ASSERT_TRUE(replacement.LoadFromString(u"<New/>"));
  ASSERT_TRUE(replacement.SelectRoot());
  ASSERT_TRUE(target.ReplaceWithCopyOf(&replacement));
  EXPECT_EQ(Name(target), u"New");
  EXPECT_EQ(DocXml(target), u"<Operation><New/><Result p=\"1\"><Page>\u00e9</Page></Result></Operation>");

  // Refused: no store, a source without a current node, an attribute or a document as source.
  EXPECT_FALSE(target.AppendCopyOf(nullptr));
  EXPECT_EQ(target.GetLastHResult(), E_INVALIDARG);
  MSXML6StoreSTL noContext;
  ASSERT_TRUE(noContext.LoadFromString(u"<x/>"));
  EXPECT_FALSE(target.AppendCopyOf(&noContext));
  ASSERT_TRUE(noContext.SelectNode(u"/x"));
  ASSERT_TRUE(noContext.SetAttribute(u"a", u"1"));
  ASSERT_TRUE(noContext.SelectNode(u"/x/@a"));
  EXPECT_FALSE(target.AppendCopyOf(&noContext));
  ASSERT_TRUE(noContext.SelectNode(u"/"));
  EXPECT_FALSE(target.ReplaceWithCopyOf(&noContext));
  EXPECT_EQ(DocXml(target), u"<Operation><New/><Result p=\"1\"><Page>\u00e9</Page></Result></Operation>");
}

}  // namespace
