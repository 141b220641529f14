// The VARIANT codec on messages built and read in memory: values survive the trip, and every
// malformed payload a peer could send is refused with the right HRESULT.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>

#include "automation/SafeArray.h"
#include "protocol/VariantCodec.h"

namespace vorlix {
namespace {

// An sd-bus connection on one end of a socketpair: enough to make messages, which are then
// sealed and read back without being sent.
class VariantCodecTest : public testing::Test {
 protected:
  VariantCodecTest() {
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds_), 0);
    EXPECT_GE(sd_bus_new(&bus_), 0);
    EXPECT_GE(sd_bus_set_fd(bus_, fds_[0], fds_[0]), 0);
    EXPECT_GE(sd_bus_start(bus_), 0);
  }
  ~VariantCodecTest() override {
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
  // value written, then the payload signature it travels with and what is read back.
  std::pair<std::string, Variant> Travel(const Variant& value) {
    sd_bus_message* m = Build([&](sd_bus_message* w) { EXPECT_EQ(AppendVariant(w, value), S_OK); });
    const char* contents = nullptr;
    EXPECT_GT(sd_bus_message_enter_container(m, 'r', "qv"), 0);
    EXPECT_GT(sd_bus_message_skip(m, "q"), 0);
    EXPECT_GT(sd_bus_message_peek_type(m, nullptr, &contents), 0);
    const std::string signature = contents ? contents : "";
    EXPECT_GE(sd_bus_message_rewind(m, 1), 0);
    Variant read;
    EXPECT_EQ(ReadVariant(m, &read), S_OK);
    EXPECT_EQ(sd_bus_message_at_end(m, true), 1);
    sd_bus_message_unref(m);
    return {signature, read};
  }
  // What ReadVariant answers for a hand-made (qv).
  HRESULT ReadMade(const std::function<void(sd_bus_message*)>& fill) {
    sd_bus_message* m = Build(fill);
    Variant read;
    const HRESULT hr = ReadVariant(m, &read);
    sd_bus_message_unref(m);
    return hr;
  }

  int fds_[2] = {-1, -1};
  sd_bus* bus_ = nullptr;
  uint64_t cookie_ = 0;
};

Variant Vector(VARTYPE vt, std::vector<Variant> elements) {
  return Variant::Array(SafeArray::Vector(vt, 0, std::move(elements)));
}

// Every VARTYPE travels with the payload signature of the wire's table and comes back as it was.
TEST_F(VariantCodecTest, EveryTypeTravelsWithItsPayloadAndKeepsItsValue) {
  SafeArray grid(VT_I4, {{1, 3}, {-2, 2}});
  for (int32_t n = 0; n < 6; ++n)
    grid.Set(std::vector<int32_t>{1 + n % 3, -2 + n / 3}, Variant::I4(n));
  // Bytes go in one piece; that they are the wire's own "ay" is checked against a peer that
  // writes them by itself (tests/python/values_test.py).
  std::vector<uint8_t> bytes(70000);
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<uint8_t>(i * 7 + i / 256);
  const std::pair<Variant, const char*> values[] = {
      {Variant(), "y"},
      {Variant::Null(), "y"},
      {Variant::Signed(VT_I1, -128), "n"},
      {Variant::I2(-32768), "n"},
      {Variant::Bool(true), "n"},
      {Variant::Signed(VT_BOOL, 1), "n"},
      {Variant::I4(-7), "i"},
      {Variant::Signed(VT_INT, 123456), "i"},
      {Variant::Signed(VT_ERROR, static_cast<int32_t>(0x80020004u)), "i"},
      {Variant::Real(VT_R4, 1.5), "d"},
      {Variant::R8(-2.25e300), "d"},
      {Variant::Date(45000.5), "d"},
      {Variant::Currency(-123456789012345), "x"},
      {Variant::Signed(VT_I8, INT64_MIN), "x"},
      {Variant::Unsigned(VT_UI1, 255), "y"},
      {Variant::Unsigned(VT_UI2, 65535), "q"},
      {Variant::Unsigned(VT_UI4, 4000000000u), "u"},
      {Variant::Unsigned(VT_UINT, 7), "u"},
      {Variant::Unsigned(VT_UI8, UINT64_MAX), "t"},
      {Variant::Dec({4, 0x80, 0xFFFFFFFFu, 0x123456789ABCDEF0ull}), "(yyut)"},
      {Variant::Str(Bstr(u"h\u00e9llo \U0001F600")), "s"},
      {Variant::Str(Bstr(std::u16string(u"a\0b", 3))), "aq"},
      {Variant::Str(Bstr(std::u16string(1, u'\xD800'))), "aq"},
      {Vector(VT_VARIANT, {Variant::I4(1), Variant::Null(), Vector(VT_VARIANT, {})}),
       "(a(ii)a(qv))"},
      {Variant::Array(grid), "(a(ii)ai)"},
      {Variant::Array(SafeArray({{-3, 2}, {0, 35000}}, bytes)), "(a(ii)ay)"},
      {Vector(VT_BSTR, {Variant::Str(Bstr(u"a"))}), "(a(ii)as)"},
  };
  for (const auto& [value, signature] : values) {
    SCOPED_TRACE(VarTypeName(value.vt()));
    EXPECT_EQ(Travel(value), std::make_pair(std::string(signature), value));
  }
  // Text elements of an array have no UTF-16 form on the wire.
  sd_bus_message* m = New();
  EXPECT_EQ(AppendVariant(m, Vector(VT_BSTR, {Variant::Str(Bstr(std::u16string(u"a\0", 2)))})),
            E_INVALIDARG);
  sd_bus_message_unref(m);
}

TEST_F(VariantCodecTest, UnknownVarTypesAndPayloadsThatDoNotFitTheirVarTypeAreRefused) {
  for (uint16_t vt : {uint16_t{9}, uint16_t{VT_VARIANT}, uint16_t{VT_BYREF | VT_I4}, uint16_t{999},
                      uint16_t{VT_ARRAY | VT_EMPTY}, uint16_t{VT_ARRAY | 99}}) {
    EXPECT_EQ(
        ReadMade([&](sd_bus_message* m) { sd_bus_message_append(m, "(qv)", vt, "i", int32_t{0}); }),
        DISP_E_BADVARTYPE)
        << vt;
  }
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
  // A decimal of the right signature but a scale above 28 or a sign other than 0 or 0x80.
  auto decimal = [&](uint8_t scale, uint8_t sign) {
    return ReadMade([&](sd_bus_message* m) {
      sd_bus_message_append(m, "(qv)", VT_DECIMAL, "(yyut)", scale, sign, 0u, uint64_t{5});
    });
  };
  EXPECT_EQ(decimal(28, 0x80), S_OK);
  EXPECT_EQ(decimal(29, 0), E_INVALIDARG);
  EXPECT_EQ(decimal(2, 1), E_INVALIDARG);
}

using Bounds = std::vector<std::pair<int32_t, int32_t>>;

// A VT_ARRAY|vt with the given bounds and elements of D-Bus type code type, as a peer could
// write it.
template <typename T>
void AppendFixedArray(sd_bus_message* m, VARTYPE vt, char type, const Bounds& bounds,
                      const std::vector<T>& elements) {
  const std::string element(1, type);
  sd_bus_message_open_container(m, 'r', "qv");
  sd_bus_message_append(m, "q", VT_ARRAY | vt);
  sd_bus_message_open_container(m, 'v', ("(a(ii)a" + element + ")").c_str());
  sd_bus_message_open_container(m, 'r', ("a(ii)a" + element).c_str());
  sd_bus_message_open_container(m, 'a', "(ii)");
  for (auto [lower, count] : bounds)
    sd_bus_message_append(m, "(ii)", lower, count);
  sd_bus_message_close_container(m);
  sd_bus_message_append_array(m, type, elements.data(), elements.size() * sizeof(T));
  sd_bus_message_close_container(m);
  sd_bus_message_close_container(m);
  sd_bus_message_close_container(m);
}

// Byte arrays and others alike: bounds must describe exactly the elements present, and huge
// counts without their elements are refused before anything is allocated.
TEST_F(VariantCodecTest, ArraySizesAndElementsAreCheckedAgainstWhatIsPresent) {
  auto read = [&](bool bytes, const Bounds& bounds, size_t count) {
    return ReadMade([&](sd_bus_message* m) {
      if (bytes) {
        AppendFixedArray(m, VT_UI1, 'y', bounds, std::vector<uint8_t>(count, 1));
      } else {
        AppendFixedArray(m, VT_I4, 'i', bounds, std::vector<int32_t>(count, 1));
      }
    });
  };
  const std::pair<Bounds, size_t> fitting[] = {
      {{{0, 2}, {5, 2}}, 4}, {{{0, 0}}, 0}, {{{0, 0}, {0, INT32_MAX}}, 0}};
  const std::pair<Bounds, size_t> refused[] = {{{{0, 3}}, 2},
                                               {{{0, 1}}, 2},
                                               {{}, 0},
                                               {{{0, -1}}, 0},
                                               {{{INT32_MAX, 2}}, 2},
                                               {{{0, 65536}, {0, 65536}, {0, 1}}, 0},
                                               {{{0, 1 << 30}, {0, 1 << 30}, {0, 1 << 30}}, 0}};
  for (bool bytes : {false, true}) {
    for (const auto& [bounds, count] : fitting)
      EXPECT_EQ(read(bytes, bounds, count), S_OK) << bytes << " " << count;
    for (const auto& [bounds, count] : refused)
      EXPECT_EQ(read(bytes, bounds, count), E_INVALIDARG) << bytes << " " << bounds.size();
  }
  // An element is checked like a value of its own.
  EXPECT_EQ(ReadMade([](sd_bus_message* m) {
              sd_bus_message_append(m, "(qv)", VT_ARRAY | VT_VARIANT, "(a(ii)a(qv))", 1, 0, 1, 1,
                                    VT_I4, "s", "x");
            }),
            E_INVALIDARG);
}

}  // namespace
}  // namespace vorlix
