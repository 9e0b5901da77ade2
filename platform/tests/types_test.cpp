#include "platform/types.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(Bstr, LayoutHasByteLengthPrefixAndTerminator) {
  BSTR b = SysAllocString(u"abc");
  ASSERT_NE(b, nullptr);
  uint32_t prefix;
  std::memcpy(&prefix, reinterpret_cast<const uint8_t*>(b) - 4, 4);
  EXPECT_EQ(prefix, 6u);
  EXPECT_EQ(b[3], u'\0');
  EXPECT_EQ(SysStringLen(b), 3u);
  EXPECT_EQ(SysStringByteLen(b), 6u);
  SysFreeString(b);
}

TEST(Bstr, EmbeddedNulsCount) {
  const char16_t text[] = {u'a', 0, u'b', 0, u'c'};
  BSTR b = SysAllocStringLen(text, 5);
  EXPECT_EQ(SysStringLen(b), 5u);
  EXPECT_EQ(rzd::BstrView(b), std::u16string_view(text, 5));
  SysFreeString(b);
}

TEST(Bstr, NullReadsAsEmpty) {
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  EXPECT_TRUE(rzd::BstrView(nullptr).empty());
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  SysFreeString(nullptr);  // no effect
}

TEST(Bstr, AllocLenWithNullTextIsZeroFilled) {
  BSTR b = SysAllocStringLen(nullptr, 4);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(SysStringLen(b), 4u);
  for (int i = 0; i <= 4; ++i) EXPECT_EQ(b[i], 0);
  SysFreeString(b);
}

TEST(Bstr, OddByteLengthKeepsLengthAndTerminator) {
  BSTR b = SysAllocStringByteLen("abc", 3);
  EXPECT_EQ(SysStringByteLen(b), 3u);
  EXPECT_EQ(SysStringLen(b), 1u);
  EXPECT_EQ(reinterpret_cast<const char*>(b)[3], 0);
  SysFreeString(b);
}

TEST(Bstr, HolderCopiesAndDetaches) {
  rzd::Bstr a(u"hello");
  rzd::Bstr b = a;
  EXPECT_NE(a.Get(), b.Get());
  EXPECT_EQ(b.View(), u"hello");
  BSTR raw = b.Detach();
  EXPECT_FALSE(b);
  SysFreeString(raw);
  BSTR target = SysAllocString(u"old");
  EXPECT_TRUE(SysReAllocString(&target, u"new"));
  EXPECT_EQ(rzd::BstrView(target), u"new");
  SysFreeString(target);
}

TEST(Variant, LayoutAndClear) {
  static_assert(sizeof(VARIANT) == 24);
  static_assert(offsetof(VARIANT, lVal) == 8);
  static_assert(offsetof(VARIANT, bstrVal) == 8);
  static_assert(offsetof(VARIANT, parray) == 8);
  VARIANT v;
  VariantInit(&v);
  EXPECT_EQ(v.vt, VT_EMPTY);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(u"x");
  VARIANT copy;
  VariantInit(&copy);
  ASSERT_EQ(VariantCopy(&copy, &v), S_OK);
  EXPECT_NE(copy.bstrVal, v.bstrVal);
  EXPECT_EQ(rzd::BstrView(copy.bstrVal), u"x");
  EXPECT_EQ(VariantClear(&v), S_OK);
  EXPECT_EQ(v.vt, VT_EMPTY);
  VariantClear(&copy);
}

// Copies of a BSTR (through VariantCopy and the holder) keep every byte: embedded NULs and an
// odd byte length, which a copy by characters or up to the first NUL would lose.
TEST(Variant, BstrCopiesKeepEmbeddedNulsAndOddByteLength) {
  const char16_t text[] = {u'a', 0, u'b', 0, 0, u'c'};
  const char oddBytes[] = {'x', 0, 'y', 0, 'z'};
  struct Case {
    const char* label;
    BSTR source;
    uint32_t byteLength;
  };
  const Case cases[] = {
      {"embedded NULs", SysAllocStringLen(text, 6), 12},
      {"odd byte length", SysAllocStringByteLen(oddBytes, 5), 5},
      {"empty", SysAllocStringLen(u"", 0), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ASSERT_NE(c.source, nullptr);
    ASSERT_EQ(SysStringByteLen(c.source), c.byteLength);
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = c.source;
    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(VariantCopy(&copy, &v), S_OK);
    ASSERT_EQ(copy.vt, VT_BSTR);
    ASSERT_NE(copy.bstrVal, v.bstrVal);
    EXPECT_EQ(SysStringByteLen(copy.bstrVal), c.byteLength);
    EXPECT_EQ(std::memcmp(copy.bstrVal, c.source, c.byteLength), 0);
    EXPECT_EQ(reinterpret_cast<const char*>(copy.bstrVal)[c.byteLength], 0);  // still terminated

    rzd::Bstr held = rzd::Bstr::Attach(SysAllocStringByteLen(reinterpret_cast<const char*>(c.source), c.byteLength));
    rzd::Bstr heldCopy = held;
    EXPECT_EQ(SysStringByteLen(heldCopy.Get()), c.byteLength);
    EXPECT_EQ(std::memcmp(heldCopy.Get(), c.source, c.byteLength), 0);
    VariantClear(&v);
    VariantClear(&copy);
  }
  // A VT_BSTR holding a null BSTR copies as null and reads as empty.
  VARIANT nullText;
  VariantInit(&nullText);
  nullText.vt = VT_BSTR;
  VARIANT copy;
  VariantInit(&copy);
  ASSERT_EQ(VariantCopy(&copy, &nullText), S_OK);
  EXPECT_EQ(copy.bstrVal, nullptr);
  EXPECT_TRUE(rzd::BstrView(copy.bstrVal).empty());
}

TEST(Variant, IntegerKindsSitAtByteEight) {
  struct Case {
    VARTYPE vt;
    int64_t value;
  };
  for (auto c : {Case{VT_I4, -5}, Case{VT_UI4, 0xFFFFFFFF}, Case{VT_I8, -(int64_t{1} << 40)}}) {
    VARIANT v;
    VariantInit(&v);
    v.vt = c.vt;
    if (c.vt == VT_I8) {
      v.llVal = c.value;
    } else {
      v.ulVal = static_cast<uint32_t>(c.value);
    }
    int64_t raw = 0;
    std::memcpy(&raw, reinterpret_cast<const uint8_t*>(&v) + 8, c.vt == VT_I8 ? 8 : 4);
    EXPECT_EQ(c.vt == VT_I8 ? raw : static_cast<int64_t>(static_cast<uint32_t>(raw)),
              c.vt == VT_I8 ? c.value : static_cast<int64_t>(static_cast<uint32_t>(c.value)));
  }
}

TEST(Variant, ByteArrayIsOwnedAndCopied) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_ARRAY | VT_UI1;
  v.parray = SafeArrayCreateVector(VT_UI1, 0, 3);
  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(v.parray, &data), S_OK);
  std::memcpy(data, "xyz", 3);
  SafeArrayUnaccessData(v.parray);
  VARIANT copy;
  VariantInit(&copy);
  ASSERT_EQ(VariantCopy(&copy, &v), S_OK);
  EXPECT_NE(copy.parray, v.parray);
  EXPECT_EQ(std::memcmp(copy.parray->pvData, "xyz", 3), 0);
  VariantClear(&v);
  VariantClear(&copy);
}

TEST(SafeArray, DimensionsBoundsAccessAndRedim) {
  SAFEARRAYBOUND bound{4, 1};
  SAFEARRAY* a = SafeArrayCreate(VT_UI1, 1, &bound);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(SafeArrayGetDim(a), 1u);
  EXPECT_EQ(SafeArrayGetElemsize(a), 1u);
  int32_t lo = 0, hi = 0;
  EXPECT_EQ(SafeArrayGetLBound(a, 1, &lo), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(a, 1, &hi), S_OK);
  EXPECT_EQ(lo, 1);
  EXPECT_EQ(hi, 4);
  void* data = nullptr;
  ASSERT_EQ(SafeArrayAccessData(a, &data), S_OK);
  std::memcpy(data, "abcd", 4);
  SAFEARRAYBOUND bigger{6, 1};
  EXPECT_NE(SafeArrayRedim(a, &bigger), S_OK) << "redim of a locked array must fail";
  EXPECT_NE(SafeArrayDestroy(a), S_OK) << "destroy of a locked array must fail";
  SafeArrayUnaccessData(a);
  ASSERT_EQ(SafeArrayRedim(a, &bigger), S_OK);
  EXPECT_EQ(std::memcmp(a->pvData, "abcd\0\0", 6), 0);
  SAFEARRAYBOUND smaller{2, 1};
  ASSERT_EQ(SafeArrayRedim(a, &smaller), S_OK);
  EXPECT_EQ(SafeArrayGetUBound(a, 1, &hi), S_OK);
  EXPECT_EQ(hi, 2);
  EXPECT_EQ(SafeArrayDestroy(a), S_OK);
  EXPECT_EQ(SafeArrayCreateVector(VT_I4, 0, 1), nullptr) << "only byte arrays";
}

TEST(Guid, FormatAndParseRoundTrip) {
  GUID g{0x6BDD1FC6, 0x810F, 0x11D0, {0xBE, 0xC7, 0x08, 0x00, 0x2B, 0xE2, 0x09, 0x2F}};
  EXPECT_EQ(rzd::FormatGuid(g), u"{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}");
  EXPECT_EQ(rzd::ParseGuid(u"{6bdd1fc6-810f-11d0-bec7-08002be2092f}"), g);
  for (const char* bad : {"6BDD1FC6-810F-11D0-BEC7-08002BE2092F", "{6BDD1FC6-810F-11D0-BEC7-08002BE2092}",
                          "{6BDD1FC6_810F-11D0-BEC7-08002BE2092F}", "{6BDD1FC6-810F-11D0-BEC7-08002BE2092G}", ""}) {
    EXPECT_FALSE(rzd::ParseGuid(std::string_view(bad)).has_value()) << bad;
  }
  EXPECT_NE(rzd::NewGuid(), rzd::NewGuid());
}

TEST(Errors, HresultFromWin32) {
  EXPECT_EQ(HRESULT_FROM_WIN32(0), S_OK);
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), MakeHr(0x80070002));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER), E_INVALIDARG);
  EXPECT_TRUE(FAILED(E_FAIL));
  EXPECT_TRUE(SUCCEEDED(S_FALSE));
}

}  // namespace
