#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

#include "automation/Dispatch.h"
#include "automation/Guid.h"
#include "automation/SafeArray.h"
#include "automation/Variant.h"

namespace vorlix {
namespace {

TEST(Variant, EveryPayloadCopiesDeeplyAndMovesBySteal) {
  std::vector<Variant> values = {Variant::Null(),
                                 Variant::I2(-32768),
                                 Variant::Unsigned(VT_UI8, UINT64_MAX),
                                 Variant::R8(-0.1),
                                 Variant::Str(u"text"),
                                 Variant::Dec(Decimal{2, 0x80, 1, 42}),
                                 Variant::Str(u"a text longer than a string keeps in itself")};
  values.push_back(Variant::Array(SafeArray::Vector(VT_UI1, 0, {Variant::Unsigned(VT_UI1, 1)})));
  values.push_back(Variant::Array(SafeArray::Vector(VT_VARIANT, 1, values)));  // nested copies
  for (const Variant& original : values) {
    SCOPED_TRACE(VarTypeName(original.vt()));
    const Variant copy = original;
    EXPECT_EQ(copy, original);
    Variant source = original;
    const Variant moved = std::move(source);
    EXPECT_EQ(moved, original);
    EXPECT_EQ(source.vt(), VT_EMPTY);  // NOLINT(bugprone-use-after-move): moving steals
    // Over a value of every kind, each of which holds its room differently.
    for (const Variant& before : values) {
      Variant assigned = before;
      assigned = original;
      EXPECT_EQ(assigned, original);
      Variant taken = before;
      Variant from = original;
      taken = std::move(from);
      EXPECT_EQ(taken, original);
      EXPECT_EQ(from.vt(), VT_EMPTY);  // NOLINT(bugprone-use-after-move)
    }
  }
  Variant a = Variant::Array(SafeArray::Vector(VT_VARIANT, 0, {Variant::Str(u"x")}));
  Variant b = a;
  b.AsArray().Set(0, Variant::I4(5));
  EXPECT_EQ(a.AsArray().At(0), Variant::Str(u"x"));
  EXPECT_EQ(b.AsArray().At(0), Variant::I4(5));
  EXPECT_FALSE(a == b);
}

TEST(Variant, KeepsTypeAndWidthComparesBothAndRefusesTheWrongAccessor) {
  EXPECT_FALSE(Variant::I2(1) == Variant::I4(1));
  EXPECT_FALSE(Variant() == Variant::Null());
  EXPECT_EQ(Variant::R8(std::nan("")), Variant::R8(std::nan("")));
  EXPECT_FALSE(Variant::Dec(Decimal{1, 0, 0, 5}) == Variant::Dec(Decimal{2, 0, 0, 5}));
  EXPECT_EQ(Variant::Signed(VT_I2, 70000).AsSigned(), int16_t(70000));
  EXPECT_EQ(Variant::Unsigned(VT_UI1, 256).AsUnsigned(), 0u);
  EXPECT_EQ(Variant::Real(VT_R4, 0.1).AsReal(), double(0.1f));
  EXPECT_THROW(Variant::I4(1).AsBstr(), std::logic_error);
  EXPECT_THROW(Variant::Str(u"1").AsSigned(), std::logic_error);
  EXPECT_THROW(Variant().AsArray(), std::logic_error);
  EXPECT_THROW(Variant::Signed(VT_UI4, 1), std::logic_error);
  EXPECT_THROW(Variant::Signed(VT_VARIANT, 1), std::logic_error);
}

TEST(SafeArray, IndexesCountFromEachLowerBoundAndElementsKeepTheArrayType) {
  SafeArray a =
      SafeArray::Vector(VT_VARIANT, -2, {Variant::I4(10), Variant::I4(11), Variant::I4(12)});
  EXPECT_EQ(a.UpperBound(), 0);
  EXPECT_EQ(a.At(0), Variant::I4(12));
  EXPECT_THROW(a.At(1), std::out_of_range);
  EXPECT_THROW(a.At(-3), std::out_of_range);

  SafeArray empty = SafeArray::Vector(VT_VARIANT, 0, {});
  EXPECT_EQ(empty.UpperBound(), -1);
  EXPECT_THROW(empty.At(0), std::out_of_range);

  // Several dimensions: the first index varies fastest.
  SafeArray grid(VT_I4, {{1, 2}, {0, 3}});  // a(1..2, 0..2)
  EXPECT_EQ(grid.Count(), 6u);
  EXPECT_EQ(grid.At(std::vector<int32_t>{2, 1}), Variant::I4(0));  // starts at the type's zero
  grid.Set(std::vector<int32_t>{2, 1}, Variant::I4(7));
  EXPECT_EQ(grid.Elements()[3], Variant::I4(7));  // (2-1) + (1-0) * 2
  EXPECT_THROW(grid.At(1), std::out_of_range);    // one index for two dimensions
  EXPECT_THROW(grid.At(std::vector<int32_t>{3, 0}), std::out_of_range);

  // Elements must be of the array's type.
  SafeArray bytes(VT_UI1, {{0, 2}});
  EXPECT_THROW(bytes.Set(0, Variant::I4(1)), std::invalid_argument);
  EXPECT_THROW(SafeArray::Vector(VT_BSTR, 0, {Variant::I4(1)}), std::invalid_argument);
  EXPECT_THROW(SafeArray(VT_EMPTY, {{0, 1}}), std::invalid_argument);
  EXPECT_THROW(SafeArray(VT_I4, {}), std::invalid_argument);
  SafeArray strings(VT_BSTR, {{0, 1}});
  EXPECT_EQ(strings.At(0), Variant::Str(u""));
}

TEST(SafeArray, ByteArraysHoldBytesAndAnswerElementAccessLikeAnyArray) {
  SafeArray bytes = SafeArray::ByteVector({0, 7, 255});
  EXPECT_EQ(bytes.ElementType(), VT_UI1);
  EXPECT_EQ(bytes.Bounds(), (std::vector<ArrayBound>{{0, 3}}));
  EXPECT_EQ(bytes.At(2), Variant::Unsigned(VT_UI1, 255));
  bytes.Set(1, Variant::Unsigned(VT_UI1, 9));
  EXPECT_EQ(bytes.Bytes(), (std::vector<uint8_t>{0, 9, 255}));
  EXPECT_THROW(bytes.Set(0, Variant::I2(1)), std::invalid_argument);
  EXPECT_THROW(bytes.Elements(), std::logic_error);
  EXPECT_THROW(SafeArray::Vector(VT_I4, 0, {}).Bytes(), std::logic_error);

  // Built from Variants, bytes or a size alike; copies are deep and compare by their bytes.
  const SafeArray same = SafeArray::Vector(
      VT_UI1, 0,
      {Variant::Unsigned(VT_UI1, 0), Variant::Unsigned(VT_UI1, 9), Variant::Unsigned(VT_UI1, 255)});
  EXPECT_EQ(same, bytes);
  Variant a = Variant::Array(bytes);
  Variant b = a;
  b.AsArray().Set(0, Variant::Unsigned(VT_UI1, 1));
  EXPECT_EQ(a.AsArray().At(0), Variant::Unsigned(VT_UI1, 0));
  EXPECT_FALSE(a == b);
  EXPECT_EQ(SafeArray(VT_UI1, {{5, 2}}), SafeArray({{5, 2}}, {0, 0}));
  EXPECT_FALSE(SafeArray::ByteVector({1}) ==
               SafeArray::Vector(VT_UI2, 0, {Variant::Unsigned(VT_UI2, 1)}));
}

// Numbers first..first+count-1 as VT_I4, counting how often they are walked.
class Numbers final : public ElementSource {
 public:
  Numbers(int32_t first, size_t count) : first_(first), count_(count) {}
  size_t Count() const override { return count_; }
  bool ForEach(const std::function<bool(const Variant&)>& each) const override {
    ++walks;
    for (size_t i = 0; i < count_; ++i) {
      if (!each(Variant::I4(first_ + static_cast<int32_t>(i)))) return false;
    }
    return true;
  }
  mutable int walks = 0;

 private:
  int32_t first_;
  size_t count_;
};

// A made array is walked without its elements being kept, and is otherwise an array like any
// other: its elements are made once for it and its copies, and a change stays in the copy made.
TEST(SafeArray, AMadeArrayIsWalkedFromItsSourceAndMadeOnceWhenReadWhole) {
  auto source = std::make_shared<Numbers>(10, 3);
  const SafeArray made = SafeArray::Made(1, source);
  EXPECT_EQ(made.ElementType(), VT_VARIANT);
  EXPECT_EQ(made.Bounds(), (std::vector<ArrayBound>{{1, 3}}));
  EXPECT_EQ(made.Count(), 3u);
  std::vector<Variant> walked;
  EXPECT_FALSE(made.ForEach([&](const Variant& e) {
    walked.push_back(e);
    return walked.size() < 2;
  }));
  EXPECT_EQ(walked, (std::vector<Variant>{Variant::I4(10), Variant::I4(11)}));
  EXPECT_EQ(source->walks, 1);

  const SafeArray plain =
      SafeArray::Vector(VT_VARIANT, 1, {Variant::I4(10), Variant::I4(11), Variant::I4(12)});
  SafeArray copy = made;
  EXPECT_EQ(copy.At(3), Variant::I4(12));
  EXPECT_EQ(made, plain);
  EXPECT_EQ(made.Elements(), plain.Elements());
  EXPECT_EQ(source->walks, 2) << "made once, for the array and its copy";
  copy.Set(1, Variant::Str(u"x"));
  EXPECT_EQ(copy.At(1), Variant::Str(u"x"));
  EXPECT_EQ(made.At(1), Variant::I4(10));
  EXPECT_FALSE(copy == made);
  EXPECT_TRUE(copy.ForEach([](const Variant&) { return true; }));
  EXPECT_EQ(source->walks, 2) << "the changed copy walks its own elements";
  EXPECT_EQ(SafeArray::Made(0, std::make_shared<Numbers>(0, 0)),
            SafeArray::Vector(VT_VARIANT, 0, {}));
}

TEST(Guid, ParsesAndFormatsTheRegistryForm) {
  const char* text = "{B1106722-DEA1-4B39-887C-E8E29D8A84C6}";
  const std::optional<Guid> g = Guid::Parse(text);
  ASSERT_TRUE(g.has_value());
  EXPECT_EQ(g->data1, 0xB1106722u);
  EXPECT_EQ(g->ToString(), text);
  EXPECT_EQ(Guid::Parse("{b1106722-dea1-4b39-887c-e8e29d8a84c6}"), g);
  for (const char* bad :
       {"", "B1106722-DEA1-4B39-887C-E8E29D8A84C6", "{B1106722-DEA1-4B39-887C-E8E29D8A84C}",
        "{B1106722-DEA1-4B39-887CXE8E29D8A84C6}", "{G1106722-DEA1-4B39-887C-E8E29D8A84C6}"}) {
    EXPECT_FALSE(Guid::Parse(bad).has_value()) << bad;
  }
}

}  // namespace
}  // namespace vorlix
