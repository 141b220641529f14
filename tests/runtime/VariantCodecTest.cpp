// The VARIANT codec on messages built and read in memory: values survive the trip, and every
// malformed payload a peer could send is refused with the right HRESULT.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>

#include "automation/SafeArray.h"
#include "runtime/VariantCodec.h"

namespace vorlix {
namespace {

// An sd-bus connection on one end of a socketpair: enough to make messages, which are then
// sealed and read back without being sent.
class Bus {
 public:
  Bus() {
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds_), 0);
    EXPECT_GE(sd_bus_new(&bus_), 0);
    EXPECT_GE(sd_bus_set_fd(bus_, fds_[0], fds_[0]), 0);
    EXPECT_GE(sd_bus_start(bus_), 0);
  }
  ~Bus() {
    sd_bus_close_unref(bus_);
    close(fds_[1]);
  }
  sd_bus_message* New() {
    sd_bus_message* m = nullptr;
    EXPECT_GE(sd_bus_message_new_method_call(bus_, &m, nullptr, "/", "t.T", "M"), 0);
    return m;
  }
  // A new message that fill writes to, sealed and rewound for reading.
  sd_bus_message* Build(const std::function<void(sd_bus_message*)>& fill) {
    sd_bus_message* m = New();
    fill(m);
    EXPECT_GE(sd_bus_message_seal(m, ++cookie_, 0), 0);
    EXPECT_GE(sd_bus_message_rewind(m, 1), 0);
    return m;
  }

 private:
  int fds_[2] = {-1, -1};
  sd_bus* bus_ = nullptr;
  uint64_t cookie_ = 0;
};

class VariantCodecTest : public testing::Test {
 protected:
  // value written and read back.
  Variant RoundTrip(const Variant& value) {
    sd_bus_message* m =
        bus_.Build([&](sd_bus_message* w) { EXPECT_EQ(AppendVariant(w, value), S_OK); });
    Variant read;
    EXPECT_EQ(ReadVariant(m, &read), S_OK);
    EXPECT_EQ(sd_bus_message_at_end(m, true), 1);
    sd_bus_message_unref(m);
    return read;
  }
  // The payload signature value travels with.
  std::string PayloadSignature(const Variant& value) {
    sd_bus_message* m = bus_.Build([&](sd_bus_message* w) { AppendVariant(w, value); });
    const char* contents = nullptr;
    EXPECT_GT(sd_bus_message_enter_container(m, 'r', "qv"), 0);
    EXPECT_GT(sd_bus_message_skip(m, "q"), 0);
    EXPECT_GT(sd_bus_message_peek_type(m, nullptr, &contents), 0);
    std::string signature = contents ? contents : "";
    sd_bus_message_unref(m);
    return signature;
  }
  // What ReadVariant answers for a hand-made (qv).
  HRESULT ReadMade(const std::function<void(sd_bus_message*)>& fill) {
    sd_bus_message* m = bus_.Build(fill);
    Variant read;
    const HRESULT hr = ReadVariant(m, &read);
    sd_bus_message_unref(m);
    return hr;
  }

  Bus bus_;
};

Variant VariantArray(std::vector<Variant> elements) {
  return Variant::Array(SafeArray::Vector(VT_VARIANT, 0, std::move(elements)));
}

TEST_F(VariantCodecTest, ScalarsKeepTypeAndValue) {
  const Variant values[] = {
      Variant(),
      Variant::Null(),
      Variant::Signed(VT_I1, -128),
      Variant::I2(-32768),
      Variant::Bool(true),
      Variant::Signed(VT_BOOL, 1),
      Variant::I4(-7),
      Variant::Signed(VT_INT, 123456),
      Variant::Signed(VT_ERROR, static_cast<int32_t>(0x80020004u)),
      Variant::Real(VT_R4, 1.5),
      Variant::R8(-2.25e300),
      Variant::Date(45000.5),
      Variant::Currency(-123456789012345),
      Variant::Signed(VT_I8, INT64_MIN),
      Variant::Unsigned(VT_UI1, 255),
      Variant::Unsigned(VT_UI2, 65535),
      Variant::Unsigned(VT_UI4, 4000000000u),
      Variant::Unsigned(VT_UINT, 7),
      Variant::Unsigned(VT_UI8, UINT64_MAX),
      Variant::Dec({4, 0x80, 0xFFFFFFFFu, 0x123456789ABCDEF0ull}),
      Variant::Str(Bstr(u"h\u00e9llo \U0001F600")),
  };
  for (const Variant& value : values) {
    EXPECT_EQ(RoundTrip(value), value) << VarTypeName(value.vt());
  }
}

TEST_F(VariantCodecTest, TextTravelsAsUtf8UnlessItCannot) {
  EXPECT_EQ(PayloadSignature(Variant::Str(Bstr(u"plain"))), "s");
  const Variant withNul = Variant::Str(Bstr(std::u16string(u"a\0b", 3)));
  const Variant loneSurrogate = Variant::Str(Bstr(std::u16string(1, u'\xD800')));
  EXPECT_EQ(PayloadSignature(withNul), "aq");
  EXPECT_EQ(PayloadSignature(loneSurrogate), "aq");
  EXPECT_EQ(RoundTrip(withNul), withNul);
  EXPECT_EQ(RoundTrip(loneSurrogate), loneSurrogate);
}

TEST_F(VariantCodecTest, ArraysKeepBoundsOrderAndElements) {
  const Variant record = VariantArray(
      {Variant::I4(1), Variant::Str(Bstr(u"x")), Variant::Null(), VariantArray({Variant::R8(2)})});
  EXPECT_EQ(PayloadSignature(record), "(a(ii)a(qv))");
  EXPECT_EQ(RoundTrip(record), record);

  SafeArray grid(VT_I4, {{1, 3}, {-2, 2}});
  for (int32_t j = -2; j <= -1; ++j) {
    for (int32_t i = 1; i <= 3; ++i) {
      const int32_t at[] = {i, j};
      grid.Set(at, Variant::I4(i * 10 + j));
    }
  }
  EXPECT_EQ(RoundTrip(Variant::Array(grid)), Variant::Array(grid));

  const Variant bytes = Variant::Array(
      SafeArray::Vector(VT_UI1, 0, {Variant::Unsigned(VT_UI1, 0), Variant::Unsigned(VT_UI1, 200)}));
  EXPECT_EQ(PayloadSignature(bytes), "(a(ii)ay)");
  EXPECT_EQ(RoundTrip(bytes), bytes);

  const Variant names = Variant::Array(SafeArray::Vector(VT_BSTR, 0, {Variant::Str(Bstr(u"a"))}));
  EXPECT_EQ(PayloadSignature(names), "(a(ii)as)");
  EXPECT_EQ(RoundTrip(names), names);

  const Variant empty = Variant::Array(SafeArray(VT_VARIANT, {{0, 0}}));
  EXPECT_EQ(RoundTrip(empty), empty);
}

TEST_F(VariantCodecTest, TextArrayElementThatCannotBeUtf8IsRefused) {
  const Variant names = Variant::Array(
      SafeArray::Vector(VT_BSTR, 0, {Variant::Str(Bstr(std::u16string(u"a\0", 2)))}));
  sd_bus_message* m = bus_.New();
  EXPECT_EQ(AppendVariant(m, names), E_INVALIDARG);
  sd_bus_message_unref(m);
}

TEST_F(VariantCodecTest, UnknownVarTypesAreRefused) {
  for (uint16_t vt : {uint16_t{9}, uint16_t{VT_VARIANT}, uint16_t{VT_BYREF | VT_I4}, uint16_t{999},
                      uint16_t{VT_ARRAY | VT_EMPTY}, uint16_t{VT_ARRAY | 99}}) {
    EXPECT_EQ(
        ReadMade([&](sd_bus_message* m) { sd_bus_message_append(m, "(qv)", vt, "i", int32_t{0}); }),
        DISP_E_BADVARTYPE)
        << vt;
  }
}

TEST_F(VariantCodecTest, PayloadOfTheWrongSignatureIsRefused) {
  auto scalar = [&](uint16_t vt, const char* signature, auto value) {
    return ReadMade(
        [&](sd_bus_message* m) { sd_bus_message_append(m, "(qv)", vt, signature, value); });
  };
  EXPECT_EQ(scalar(VT_I4, "s", "7"), E_INVALIDARG);
  EXPECT_EQ(scalar(VT_I2, "i", int32_t{7}), E_INVALIDARG);
  EXPECT_EQ(scalar(VT_BSTR, "i", int32_t{7}), E_INVALIDARG);
  EXPECT_EQ(scalar(VT_ARRAY | VT_VARIANT, "i", int32_t{7}), E_INVALIDARG);
  EXPECT_EQ(scalar(VT_EMPTY, "y", 1), E_INVALIDARG);
  EXPECT_EQ(scalar(VT_I1, "n", 128), E_INVALIDARG);
  EXPECT_EQ(scalar(VT_R4, "d", 1e300), E_INVALIDARG);
  EXPECT_EQ(ReadMade([](sd_bus_message* m) { sd_bus_message_append(m, "s", "not a variant"); }),
            E_INVALIDARG);
}

TEST_F(VariantCodecTest, InvalidDecimalsAreRefused) {
  auto decimal = [&](uint8_t scale, uint8_t sign) {
    return ReadMade([&](sd_bus_message* m) {
      sd_bus_message_append(m, "(qv)", VT_DECIMAL, "(yyut)", scale, sign, 0u, uint64_t{5});
    });
  };
  EXPECT_EQ(decimal(28, 0x80), S_OK);
  EXPECT_EQ(decimal(29, 0), E_INVALIDARG);
  EXPECT_EQ(decimal(2, 1), E_INVALIDARG);
}

// A VT_ARRAY|VT_I4 with the given bounds and elements, as a peer could write it.
void AppendI4Array(sd_bus_message* m, const std::vector<std::pair<int32_t, int32_t>>& bounds,
                   const std::vector<int32_t>& elements) {
  sd_bus_message_open_container(m, 'r', "qv");
  sd_bus_message_append(m, "q", VT_ARRAY | VT_I4);
  sd_bus_message_open_container(m, 'v', "(a(ii)ai)");
  sd_bus_message_open_container(m, 'r', "a(ii)ai");
  sd_bus_message_open_container(m, 'a', "(ii)");
  for (auto [lower, count] : bounds)
    sd_bus_message_append(m, "(ii)", lower, count);
  sd_bus_message_close_container(m);
  sd_bus_message_append_array(m, 'i', elements.data(), elements.size() * sizeof(int32_t));
  sd_bus_message_close_container(m);
  sd_bus_message_close_container(m);
  sd_bus_message_close_container(m);
}

TEST_F(VariantCodecTest, ArraySizesAreCheckedAgainstTheElementsPresent) {
  auto array = [&](std::vector<std::pair<int32_t, int32_t>> bounds, std::vector<int32_t> elements) {
    return ReadMade([&](sd_bus_message* m) { AppendI4Array(m, bounds, elements); });
  };
  EXPECT_EQ(array({{0, 2}, {5, 2}}, {1, 2, 3, 4}), S_OK);
  EXPECT_EQ(array({{0, 3}}, {1, 2}), E_INVALIDARG);
  EXPECT_EQ(array({{0, 1}}, {1, 2}), E_INVALIDARG);
  EXPECT_EQ(array({}, {}), E_INVALIDARG);
  EXPECT_EQ(array({{0, -1}}, {}), E_INVALIDARG);
  EXPECT_EQ(array({{INT32_MAX, 2}}, {1, 2}), E_INVALIDARG);
  // Huge counts without their elements are refused before anything is allocated.
  EXPECT_EQ(array({{0, 65536}, {0, 65536}, {0, 1}}, {}), E_INVALIDARG);
  EXPECT_EQ(array({{0, 0}, {0, INT32_MAX}}, {}), S_OK);
}

TEST_F(VariantCodecTest, MalformedElementInsideAnArrayIsRefused) {
  EXPECT_EQ(ReadMade([](sd_bus_message* m) {
              sd_bus_message_append(m, "(qv)", VT_ARRAY | VT_VARIANT, "(a(ii)a(qv))", 1, 0, 1, 1,
                                    VT_I4, "s", "x");
            }),
            E_INVALIDARG);
}

}  // namespace
}  // namespace vorlix
