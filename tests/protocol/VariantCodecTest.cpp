// The VARIANT codec on messages built and read in memory, through sd-bus and through bytes of our
// own (WireWriter, WireReader) alike: values survive the trip, and every malformed payload a peer
// could send is refused by both readers with the same HRESULT.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#include "automation/SafeArray.h"
#include "protocol/BusOut.h"
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
  template <typename Fill>
  sd_bus_message* Build(const Fill& fill) {
    sd_bus_message* m = New();
    BusOut out{m};
    fill(out);
    EXPECT_GE(sd_bus_message_seal(m, ++cookie_, 0), 0);
    EXPECT_GE(sd_bus_message_rewind(m, 1), 0);
    return m;
  }
  // value written, then the payload signature it travels with and what is read back; through
  // bytes of our own it must travel the same.
  std::pair<std::string, Variant> Travel(const Variant& value) {
    sd_bus_message* m = Build([&](BusOut& w) { EXPECT_EQ(AppendVariant(w, value), S_OK); });
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

    WireWriter bytes;
    EXPECT_EQ(AppendVariant(bytes, value), S_OK);
    WireReader peek(bytes.Bytes(), "(qv)");
    EXPECT_GT(peek.Enter('r', "qv"), 0);
    EXPECT_GT(peek.Skip(), 0);
    EXPECT_GT(peek.Peek(nullptr, &contents), 0);
    EXPECT_STREQ(contents, signature.c_str());
    WireReader in(bytes.Bytes(), "(qv)");
    Variant fromBytes;
    EXPECT_EQ(ReadVariant(in, &fromBytes), S_OK);
    EXPECT_EQ(in.AtEnd(), 1);
    EXPECT_EQ(fromBytes, value) << "through bytes";
    if (value.IsArray()) {
      // Packed, as for a client that asks for it: both readers take it.
      WireWriter packed;
      EXPECT_EQ(AppendVariantPacked(packed, value), S_OK);
      const std::string payload = PackedPayload(packed.Bytes());
      WireReader inPacked(packed.Bytes(), "(qv)");
      EXPECT_EQ(ReadVariant(inPacked, &fromBytes), S_OK);
      EXPECT_EQ(fromBytes, value) << "packed, through bytes";
      sd_bus_message* pm = Build([&](BusOut& w) { AppendPacked(w, value.vt(), payload); });
      EXPECT_EQ(ReadVariant(pm, &fromBytes), S_OK);
      EXPECT_EQ(fromBytes, value) << "packed, through sd-bus";
      sd_bus_message_unref(pm);
    }
    return {signature, read};
  }
  // The payload bytes of a packed (qv).
  static std::string PackedPayload(const std::string& qv) {
    WireReader in(qv, "(qv)");
    VARTYPE vt = 0;
    const void* data = nullptr;
    size_t size = 0;
    EXPECT_GT(in.Enter('r', "qv"), 0);
    EXPECT_GT(in.Basic('q', &vt), 0);
    EXPECT_GT(in.Enter('v', "ay"), 0);
    EXPECT_GT(in.Array('y', &data, &size), 0);
    return std::string(static_cast<const char*>(data), size);
  }
  // A packed (qv) of VARTYPE vt around payload, as a peer could write it.
  template <typename Out>
  static void AppendPacked(Out& out, VARTYPE vt, std::string_view payload) {
    out.Open('r', "qv");
    out.Basic('q', &vt);
    out.Open('v', "ay");
    out.Array('y', payload.data(), payload.size());
    out.Close();
    out.Close();
  }
  // What ReadVariant answers for what fill writes (through the calls BusOut and WireWriter
  // share), read from an sd-bus message and from bytes: the readers must agree.
  template <typename Fill>
  HRESULT ReadMade(const Fill& fill) {
    sd_bus_message* m = Build(fill);
    Variant read;
    const HRESULT hr = ReadVariant(m, &read);
    const std::string signature = sd_bus_message_get_signature(m, true);
    sd_bus_message_unref(m);
    WireWriter bytes;
    fill(bytes);
    WireReader in(bytes.Bytes(), signature);
    EXPECT_EQ(ReadVariant(in, &read), hr) << "through bytes";
    return hr;
  }

  int fds_[2] = {-1, -1};
  sd_bus* bus_ = nullptr;
  uint64_t cookie_ = 0;
};

// Appends a (qv) of VARTYPE vt whose payload is one basic value of that signature (a C string for
// s), as a peer could write it.
template <typename Out, typename T>
void AppendQv(Out& out, uint16_t vt, const char* signature, const T& value) {
  out.Open('r', "qv");
  out.Basic('q', &vt);
  out.Open('v', signature);
  if constexpr (std::is_pointer_v<T>) {
    out.Basic(signature[0], value);
  } else {
    out.Basic(signature[0], &value);
  }
  out.Close();
  out.Close();
}

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
  const Variant nul = Vector(VT_BSTR, {Variant::Str(Bstr(std::u16string(u"a\0", 2)))});
  sd_bus_message* m = New();
  EXPECT_EQ(AppendVariant(m, nul), E_INVALIDARG);
  sd_bus_message_unref(m);
  WireWriter ours;
  EXPECT_EQ(AppendVariant(ours, nul), E_INVALIDARG);
}

TEST_F(VariantCodecTest, UnknownVarTypesAndPayloadsThatDoNotFitTheirVarTypeAreRefused) {
  for (uint16_t vt : {uint16_t{9}, uint16_t{VT_VARIANT}, uint16_t{VT_BYREF | VT_I4}, uint16_t{999},
                      uint16_t{VT_ARRAY | VT_EMPTY}, uint16_t{VT_ARRAY | 99}}) {
    EXPECT_EQ(ReadMade([&](auto& out) { AppendQv(out, vt, "i", int32_t{0}); }), DISP_E_BADVARTYPE)
        << vt;
  }
  auto scalar = [&](uint16_t vt, const char* signature, auto value) {
    return ReadMade([&](auto& out) { AppendQv(out, vt, signature, value); });
  };
  EXPECT_EQ(scalar(VT_I4, "s", "7"), E_INVALIDARG);
  EXPECT_EQ(scalar(VT_I2, "i", int32_t{7}), E_INVALIDARG);
  EXPECT_EQ(scalar(VT_BSTR, "i", int32_t{7}), E_INVALIDARG);
  EXPECT_EQ(scalar(VT_ARRAY | VT_VARIANT, "i", int32_t{7}), E_INVALIDARG);
  EXPECT_EQ(scalar(VT_EMPTY, "y", uint8_t{1}), E_INVALIDARG);
  EXPECT_EQ(scalar(VT_I1, "n", int16_t{128}), E_INVALIDARG);
  EXPECT_EQ(scalar(VT_R4, "d", 1e300), E_INVALIDARG);
  EXPECT_EQ(ReadMade([](auto& out) { out.Basic('s', "not a variant"); }), E_INVALIDARG);
  // A decimal of the right signature but a scale above 28 or a sign other than 0 or 0x80.
  auto decimal = [&](uint8_t scale, uint8_t sign) {
    return ReadMade([&](auto& out) {
      const uint16_t vt = VT_DECIMAL;
      const uint32_t hi = 0;
      const uint64_t lo = 5;
      out.Open('r', "qv");
      out.Basic('q', &vt);
      out.Open('v', "(yyut)");
      out.Open('r', "yyut");
      out.Basic('y', &scale);
      out.Basic('y', &sign);
      out.Basic('u', &hi);
      out.Basic('t', &lo);
      for (int level = 0; level < 3; ++level)
        out.Close();
    });
  };
  EXPECT_EQ(decimal(28, 0x80), S_OK);
  EXPECT_EQ(decimal(29, 0), E_INVALIDARG);
  EXPECT_EQ(decimal(2, 1), E_INVALIDARG);
}

using Bounds = std::vector<std::pair<int32_t, int32_t>>;

// A VT_ARRAY|vt with the given bounds and elements of payload signature element, which
// elements(out) writes, as a peer could write it.
template <typename Out, typename Elements>
void AppendArray(Out& out, VARTYPE vt, const std::string& element, const Bounds& bounds,
                 const Elements& elements) {
  const uint16_t type = VT_ARRAY | vt;
  out.Open('r', "qv");
  out.Basic('q', &type);
  out.Open('v', ("(a(ii)a" + element + ")").c_str());
  out.Open('r', ("a(ii)a" + element).c_str());
  out.Open('a', "(ii)");
  for (auto [lower, count] : bounds) {
    out.Open('r', "ii");
    out.Basic('i', &lower);
    out.Basic('i', &count);
    out.Close();
  }
  out.Close();
  elements(out);
  for (int level = 0; level < 3; ++level)
    out.Close();
}

// Byte arrays and others alike: bounds must describe exactly the elements present, and huge
// counts without their elements are refused before anything is allocated.
TEST_F(VariantCodecTest, ArraySizesAndElementsAreCheckedAgainstWhatIsPresent) {
  auto read = [&](bool bytes, const Bounds& bounds, size_t count) {
    const std::vector<uint8_t> ones(count * (bytes ? 1 : 4), 1);
    return ReadMade([&](auto& out) {
      AppendArray(out, bytes ? VT_UI1 : VT_I4, bytes ? "y" : "i", bounds,
                  [&](auto& o) { o.Array(bytes ? 'y' : 'i', ones.data(), ones.size()); });
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
  EXPECT_EQ(ReadMade([](auto& out) {
              AppendArray(out, VT_VARIANT, "(qv)", {{0, 1}}, [](auto& o) {
                o.Open('a', "(qv)");
                AppendQv(o, VT_I4, "s", "x");
                o.Close();
              });
            }),
            E_INVALIDARG);
}

// The elements of a list, made as an ElementSource makes them.
class Listed final : public ElementSource {
 public:
  explicit Listed(std::vector<Variant> elements) : elements_(std::move(elements)) {}
  size_t Count() const override { return elements_.size(); }
  bool ForEach(const std::function<bool(const Variant&)>& each) const override {
    for (const Variant& e : elements_) {
      if (!each(e)) return false;
    }
    return true;
  }

 private:
  std::vector<Variant> elements_;
};

// A made array goes out byte for byte as the array of its elements, packed or not, in a writer
// with a bound (which makes room for a big one at once) or without.
TEST_F(VariantCodecTest, AMadeArrayTravelsAsTheArrayOfItsElements) {
  for (size_t rows : {1, 20000}) {
    std::vector<Variant> elements;
    for (size_t r = 0; r < rows; ++r) {
      for (const Variant& v : {Variant::Str(u"*NewRecord*"), Variant::Str(u"Name"),
                               Variant::Str(u"Grüße ☃"), Variant::Str(u"V"), Variant::R8(0.5),
                               Variant::Null(), Variant::I4(static_cast<int32_t>(r))}) {
        elements.push_back(v);
      }
    }
    const Variant plain = Vector(VT_VARIANT, elements);
    const Variant made =
        Variant::Array(SafeArray::Made(0, std::make_shared<Listed>(std::move(elements))));
    for (bool packed : {false, true}) {
      const auto bytes = [&](const Variant& value, size_t limit) {
        WireWriter out(limit);
        const uint8_t before = 7;  // the array starts past the body's first byte
        out.Basic('y', &before);
        EXPECT_EQ(packed ? AppendVariantPacked(out, value) : AppendVariant(out, value), S_OK);
        return out.Take();
      };
      const std::string expected = bytes(plain, SIZE_MAX);
      EXPECT_EQ(bytes(made, SIZE_MAX), expected) << rows << packed;
      EXPECT_EQ(bytes(made, size_t{64} << 20), expected) << rows << packed;
      WireReader in(expected, "y(qv)");
      uint8_t first = 0;
      Variant read;
      EXPECT_GT(in.Basic('y', &first), 0);
      EXPECT_EQ(ReadVariant(in, &read), S_OK);
      EXPECT_EQ(read, plain) << rows << packed;
    }
  }
}

// Memory running out while an array is written (its elements made, the message grown) is
// answered as the message not growing, never thrown at the caller: a server's reply goes out.
TEST_F(VariantCodecTest, MemoryRunningOutWhileWritingIsAnswered) {
  class Exhausting final : public ElementSource {
    size_t Count() const override { return 1; }
    bool ForEach(const std::function<bool(const Variant&)>&) const override {
      throw std::bad_alloc();
    }
  };
  const Variant made = Variant::Array(SafeArray::Made(0, std::make_shared<Exhausting>()));
  WireWriter plain, packed;
  EXPECT_EQ(AppendVariant(plain, made), E_OUTOFMEMORY);
  EXPECT_EQ(AppendVariantPacked(packed, made), E_OUTOFMEMORY);
  sd_bus_message* m = New();
  EXPECT_EQ(AppendVariant(m, made), E_OUTOFMEMORY);
  sd_bus_message_unref(m);
}

// A packed array is read as strictly as any other: nothing may follow its payload, and it holds
// no packed array of its own, which would let a peer nest readers without bound.
TEST_F(VariantCodecTest, APackedArrayHoldsItsPayloadAloneAndNoPackedArrayWithin) {
  const Variant numbers = Vector(VT_I4, {Variant::I4(1), Variant::I4(2)});
  WireWriter packed;
  ASSERT_EQ(AppendVariantPacked(packed, numbers), S_OK);
  const std::string payload = PackedPayload(packed.Bytes());
  EXPECT_EQ(ReadMade([&](auto& w) { AppendPacked(w, VT_ARRAY | VT_I4, payload); }), S_OK);
  EXPECT_EQ(ReadMade([&](auto& w) { AppendPacked(w, VT_ARRAY | VT_I4, payload + '\0'); }),
            E_INVALIDARG);
  EXPECT_EQ(ReadMade([&](auto& w) { AppendPacked(w, VT_ARRAY | VT_I2, payload); }), E_INVALIDARG);
  // A VARIANT array of one element, that element packed or not.
  for (bool inner : {false, true}) {
    WireWriter outer;
    outer.Open('r', "a(ii)a(qv)");
    outer.Open('a', "(ii)");
    const int32_t lower = 0, count = 1;
    outer.Open('r', "ii");
    outer.Basic('i', &lower);
    outer.Basic('i', &count);
    outer.Close();
    outer.Close();
    outer.Open('a', "(qv)");
    inner ? AppendVariantPacked(outer, numbers) : AppendVariant(outer, numbers);
    outer.Close();
    outer.Close();
    EXPECT_EQ(ReadMade([&](auto& w) { AppendPacked(w, VT_ARRAY | VT_VARIANT, outer.Bytes()); }),
              inner ? E_INVALIDARG : S_OK)
        << inner;
  }
}

}  // namespace
}  // namespace vorlix
