// The server's own reader of what clients send: bodies read back as WireWriter wrote them, bytes a
// peer could forge refused without reading past them, big-endian senders understood, and message
// headers framed and checked with a reason for every refusal.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "protocol/WireMessage.h"
#include "protocol/WireReader.h"
#include "protocol/WireWriter.h"

namespace vorlix {
namespace {

using namespace std::string_view_literals;

constexpr size_t kMiB = size_t{1} << 20;

// Bytes marshalled by hand in either byte order, as a peer might send them, aligned as from the
// start of a message.
class Marshal {
 public:
  explicit Marshal(bool bigEndian = false) : bigEndian_(bigEndian) {}
  template <typename T>
  Marshal& Number(T x) {
    Pad(sizeof x);
    char raw[sizeof x];
    std::memcpy(raw, &x, sizeof x);
    if (bigEndian_ != (std::endian::native == std::endian::big)) std::reverse(raw, raw + sizeof x);
    bytes_.append(raw, sizeof x);
    return *this;
  }
  // text with its length (a byte's for a signature 'g', else four) and its NUL.
  Marshal& Text(char type, std::string_view text) {
    type == 'g' ? Number(static_cast<uint8_t>(text.size()))
                : Number(static_cast<uint32_t>(text.size()));
    return Raw(text).Raw(std::string_view("", 1));
  }
  Marshal& Raw(std::string_view raw) {
    bytes_.append(raw);
    return *this;
  }
  Marshal& Pad(size_t alignment) {
    bytes_.resize((bytes_.size() + alignment - 1) / alignment * alignment, '\0');
    return *this;
  }
  const std::string& bytes() const { return bytes_; }

 private:
  bool bigEndian_;
  std::string bytes_;
};

// What reading every value of body answers: the first refusal, or 1 once all were read.
int ReadAll(std::string_view body, const char* signature) {
  WireReader in(body, signature);
  int r;
  while ((r = in.Skip()) > 0) {
  }
  return r < 0 ? r : 1;
}

// Text compares by its characters.
template <typename T>
auto Plain(const T& x) {
  if constexpr (std::is_pointer_v<std::decay_t<T>>) {
    return std::string_view(x);
  } else {
    return x;
  }
}

// Reads basic values of the given type codes from in and checks they equal expected.
template <typename... T>
void ExpectBasics(WireReader& in, const char* types, const T&... expected) {
  std::tuple<std::decay_t<T>...> read{};
  std::vector<int> answers;
  std::apply(
      [&](auto&... value) { (answers.push_back(in.Basic(types[answers.size()], &value)), ...); },
      read);
  ASSERT_EQ(answers, std::vector<int>(sizeof...(T), 1));
  EXPECT_EQ(std::apply([](const auto&... value) { return std::make_tuple(Plain(value)...); }, read),
            std::make_tuple(Plain(expected)...));
}

// "ai", "as", "v" holding "ai", "a(sv)" whose variants hold "(iai)" and "s", then "s".
std::string Containers() {
  const int32_t numbers[] = {1, -2, 3}, seven = 7;
  WireWriter out;
  out.Array('i', numbers, sizeof numbers);
  out.Open('a', "s");
  for (const char* text : {"x", "yz"})
    out.Basic('s', text);
  out.Close();
  out.Open('v', "ai");
  out.Array('i', numbers, sizeof numbers);
  out.Close();
  out.Open('a', "(sv)");
  out.Open('r', "sv");
  out.Basic('s', "pair");
  out.Open('v', "(iai)");
  out.Open('r', "iai");
  out.Basic('i', &seven);
  out.Array('i', numbers, sizeof numbers);
  for (int level = 0; level < 3; ++level)
    out.Close();
  out.Open('r', "sv");
  out.Basic('s', "text");
  out.Open('v', "s");
  out.Basic('s', "deep");
  for (int level = 0; level < 3; ++level)
    out.Close();
  out.Basic('s', "end");
  return out.Take();
}
constexpr const char* kContainers = "aiasva(sv)s";

TEST(WireReaderTest, ContainersReadAsWrittenAndAreLeftOnlyWhenReadToTheirEnd) {
  const std::string bytes = Containers();
  WireReader in(bytes, kContainers);
  const void* data = nullptr;
  size_t size = 0;
  const auto numbers = [&] {
    const auto* p = static_cast<const int32_t*>(data);
    return std::vector<int32_t>(p, p + size / 4);
  };
  const std::vector<int32_t> expected = {1, -2, 3};
  ASSERT_EQ(in.Array('i', &data, &size), 1);
  EXPECT_EQ(numbers(), expected);
  const char* text = nullptr;
  std::string texts;
  ASSERT_EQ(in.Enter('a', "s"), 1);
  while (in.Basic('s', &text) == 1)
    texts += std::string(text) + ";";
  EXPECT_EQ(in.Exit(), 1);
  EXPECT_EQ(texts, "x;yz;");
  char type = 0;
  const char* contents = nullptr;
  ASSERT_EQ(in.Peek(&type, &contents), 1);
  EXPECT_EQ(type, 'v');
  EXPECT_STREQ(contents, "ai");
  ASSERT_EQ(in.Enter('v', "ai"), 1);
  ASSERT_EQ(in.Array('i', &data, &size), 1);
  EXPECT_EQ(numbers(), expected);
  EXPECT_EQ(in.Exit(), 1);
  int32_t k = -1;
  ASSERT_EQ(in.Enter('a', "(sv)"), 1);
  ASSERT_EQ(in.Enter('r', "sv"), 1);
  EXPECT_EQ(in.Basic('s', &text), 1);
  EXPECT_EQ(in.Enter('v', "s"), -ENXIO);  // it holds a struct
  ASSERT_EQ(in.Enter('v', "(iai)"), 1);
  ASSERT_EQ(in.Enter('r', "iai"), 1);
  EXPECT_EQ(in.Basic('i', &k), 1);
  EXPECT_EQ(k, 7);
  ASSERT_EQ(in.Array('i', &data, &size), 1);
  EXPECT_EQ(numbers(), expected);
  for (int level = 0; level < 3; ++level)
    EXPECT_EQ(in.Exit(), 1);
  ASSERT_EQ(in.Enter('r', "sv"), 1);
  EXPECT_EQ(in.Skip(), 1);
  EXPECT_EQ(in.Skip(), 1);  // the variant, and the string in it
  EXPECT_EQ(in.Exit(), 1);
  EXPECT_EQ(in.Enter('r', "sv"), 0);
  EXPECT_EQ(in.Exit(), 1);
  EXPECT_EQ(in.Basic('s', &text), 1);
  EXPECT_STREQ(text, "end");

  // Skip passes over whole values however deep, and lands where the next begins.
  WireReader skipping(bytes, kContainers);
  for (int value = 0; value < 4; ++value)
    EXPECT_EQ(skipping.Skip(), 1);
  EXPECT_EQ(skipping.Basic('s', &text), 1);
  EXPECT_STREQ(text, "end");
  EXPECT_EQ(skipping.Skip(), 0);

  // Containers left before their end: an array (ended by its length) and a variant (ended by
  // its signature, as a struct is) with values unread.
  WireReader array(bytes, kContainers), variant(bytes, kContainers);
  array.Enter('a', "i");
  array.Basic('i', &k);
  EXPECT_EQ(array.Exit(), -EBUSY);
  variant.Skip();
  variant.Skip();
  variant.Enter('v', "ai");
  EXPECT_EQ(variant.Exit(), -EBUSY);
}

TEST(WireReaderTest, MalformedBodiesAreRefusedWithoutReadingPastThem) {
  struct Case {
    const char* signature;
    std::string bytes;
    size_t body;  // how much of bytes is the body; what follows must not be read
    bool valid;
  };
  const auto all = SIZE_MAX;
  const auto text = [](char type, std::string_view text) {
    return Marshal().Text(type, text).bytes();
  };
  const std::string pair = Marshal().Number<uint32_t>(8).Number(1).Number(2).bytes();
  const Case cases[] = {
      {"ai", pair, all, true},
      {"ai", pair, 8, false},
      {"s", text('s', "abc"), all, true},
      {"s", text('s', "abc"), 7, false},
      {"s", Marshal().Number<uint32_t>(3).Raw("abcd").bytes(), all, false},
      {"s", Marshal().Number<uint32_t>(3).Raw("a\0c\0"sv).bytes(), all, false},
      {"s", text('s', "\xC0\xAF"), all, false},      // an overlong '/'
      {"s", text('s', "\xED\xA0\x80"), all, false},  // a surrogate
      {"s", text('s', "\xF0\x9F\x98\x80"), all, true},
      {"o", text('o', "/a_1/B2"), all, true},
      {"o", text('o', "/a//b"), all, false},
      {"o", text('o', "/a/"), all, false},
      {"o", text('o', "a/b"), all, false},
      {"o", text('o', "/a-b"), all, false},
      {"g", text('g', "a{sv}"), all, true},
      {"g", text('g', "a{vs}"), all, false},
      {"v", Marshal().Text('g', "i").Number<int32_t>(1).bytes(), all, true},
      {"v", Marshal().Text('g', "ii").Number<int32_t>(1).Number<int32_t>(2).bytes(), all, false},
      {"v", Marshal().Text('g', "").bytes(), all, false},
      {"v", Marshal().Text('g', "a").Number<uint32_t>(0).bytes(), all, false},
      {"b", Marshal().Number<uint32_t>(1).bytes(), all, true},
      {"b", Marshal().Number<uint32_t>(2).bytes(), all, false},
      {"yi", Marshal().Number<uint8_t>(1).Raw("\1\0\0"sv).Number<int32_t>(5).bytes(), all, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << &c - cases);
    EXPECT_EQ(ReadAll(std::string_view(c.bytes).substr(0, c.body), c.signature),
              c.valid ? 1 : -EBADMSG);
  }

  // Variants within variants, down to the depth D-Bus allows and one past it.
  for (size_t depth : {64, 65}) {
    Marshal nested;
    for (size_t k = 1; k < depth; ++k)
      nested.Text('g', "v");
    nested.Text('g', "y").Number<uint8_t>(9);
    EXPECT_EQ(ReadAll(nested.bytes(), "v"), depth == 64 ? 1 : -EBADMSG) << depth;
  }

  // Arrays up to 64 MiB, whether read whole or entered; the bytes past the bound are there.
  std::string big =
      Marshal().Number<uint32_t>(64 * kMiB + 1).bytes() + std::string(64 * kMiB + 1, 0);
  const void* data = nullptr;
  size_t size = 0;
  EXPECT_EQ(WireReader(big, "ay").Array('y', &data, &size), -EBADMSG);
  EXPECT_EQ(WireReader(big, "ay").Enter('a', "y"), -EBADMSG);
  big.replace(0, 4, Marshal().Number<uint32_t>(64 * kMiB).bytes());
  EXPECT_EQ(
      WireReader(std::string_view(big).substr(0, 4 + 64 * kMiB), "ay").Array('y', &data, &size), 1);
  EXPECT_EQ(size, 64 * kMiB);

  // A whole array whose length splits an element, or holds a boolean other than 0 or 1.
  const std::string split = Marshal().Number<uint32_t>(6).Number<int32_t>(1).Raw("\0\0"sv).bytes();
  EXPECT_EQ(WireReader(split, "ai").Array('i', &data, &size), -EBADMSG);
  const std::string truth =
      Marshal().Number<uint32_t>(8).Number<uint32_t>(1).Number<uint32_t>(2).bytes();
  EXPECT_EQ(WireReader(truth, "ab").Array('b', &data, &size), -EBADMSG);
}

TEST(WireReaderTest, BigEndianBodiesReadInThisMachinesOrder) {
  Marshal big(true);
  big.Number<int16_t>(-2).Number<uint16_t>(0x1234).Number<int32_t>(-3).Number<uint32_t>(0xDEADBEEF);
  big.Number<int64_t>(-4).Number<uint64_t>(0x0102030405060708).Number<double>(1.5);
  big.Number<uint32_t>(1).Text('s', "big").Number<uint32_t>(6);
  big.Number<uint16_t>(1).Number<uint16_t>(0x0102).Number<uint16_t>(0xFFFE);
  WireReader in(big.bytes(), "nqiuxtdbsaq", true);
  ExpectBasics(in, "nqiuxtdbs", int16_t{-2}, uint16_t{0x1234}, -3, 0xDEADBEEF, int64_t{-4},
               uint64_t{0x0102030405060708}, 1.5, 1, "big");
  const void* data = nullptr;
  size_t size = 0;
  ASSERT_EQ(in.Array('q', &data, &size), 1);
  const auto* units = static_cast<const uint16_t*>(data);
  EXPECT_EQ(std::vector<uint16_t>(units, units + size / 2),
            (std::vector<uint16_t>{1, 0x0102, 0xFFFE}));
}

// A message made by hand: its header fields, each a text of type o, s or g, and its body.
struct Field {
  uint8_t code;
  char type;
  std::string value;
};
struct Frame {
  uint8_t type = 1;  // a method call
  uint8_t flags = 0;
  uint32_t serial = 7;
  bool bigEndian = false;
};
std::string Message(const std::vector<Field>& fields, std::string_view body = {},
                    Frame frame = {}) {
  // The fields begin at 16, 8-aligned: marshalled on their own they align as in the message.
  Marshal header(frame.bigEndian);
  for (const Field& f : fields)
    header.Pad(8).Number(f.code).Text('g', std::string(1, f.type)).Text(f.type, f.value);
  Marshal m(frame.bigEndian);
  m.Raw(frame.bigEndian ? "B" : "l").Number(frame.type).Number(frame.flags).Number<uint8_t>(1);
  m.Number(static_cast<uint32_t>(body.size())).Number(frame.serial);
  m.Number(static_cast<uint32_t>(header.bytes().size())).Raw(header.bytes()).Pad(8).Raw(body);
  return m.bytes();
}
const std::vector<Field> kCall = {
    {1, 'o', "/db/1"}, {2, 's', "vorlix.Connection"}, {3, 's', "Seek"}, {8, 'g', "su"}};

TEST(WireMessageTest, MessageSizeWaitsForSixteenBytesAndRefusesImpossibleHeaders) {
  const std::string call = Message(kCall, "abcd");
  std::string why;
  EXPECT_EQ(MessageSize(call.substr(0, 15), &why), 0);
  EXPECT_EQ(MessageSize(call.substr(0, 16), &why), static_cast<long long>(call.size()));
  const auto patched = [&](size_t at, std::string_view raw) {
    return std::string(call).replace(at, raw.size(), raw);
  };
  const auto word = [](uint32_t x) { return Marshal().Number(x).bytes(); };
  const size_t header = call.size() - 4;
  EXPECT_EQ(MessageSize(patched(4, word(128 * kMiB - header)), &why),
            static_cast<long long>(128 * kMiB));
  EXPECT_EQ(MessageSize(patched(12, word(64 * kMiB)), &why),
            static_cast<long long>(64 * kMiB + 16 + 4));
  for (const std::string& bad :
       {patched(0, "b"), patched(3, "\2"), patched(12, word(64 * kMiB + 1)),
        patched(4, word(128 * kMiB - header + 1))}) {
    why.clear();
    EXPECT_EQ(MessageSize(bad, &why), -EBADMSG) << bad.substr(0, 16);
    EXPECT_FALSE(why.empty());
  }
}

TEST(WireMessageTest, AWellFormedMessageIsReadInEitherByteOrder) {
  for (bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian);
    const std::string body = Marshal(bigEndian).Text('s', "hi").Number<uint32_t>(42).bytes();
    // A field of a code to come, among the others, is passed over.
    std::vector<Field> fields = kCall;
    fields.insert(fields.begin() + 1, {200, 's', "later"});
    std::string why;
    const auto m = ParseMessage(Message(fields, body, {.serial = 9, .bigEndian = bigEndian}), &why);
    ASSERT_TRUE(m) << why;
    EXPECT_EQ(std::make_tuple(m->type, m->bigEndian, m->serial, m->path, m->interface, m->member,
                              m->signature, m->ExpectsReply()),
              std::make_tuple(MessageType::kMethodCall, bigEndian, 9u, "/db/1"sv,
                              "vorlix.Connection"sv, "Seek"sv, "su"sv, true));
    WireReader in(m->Body(), m->signature, m->bigEndian);
    ExpectBasics(in, "su", "hi", 42u);
  }
  std::string why;
  const auto noReply = ParseMessage(Message(kCall, {}, {.flags = 1}), &why);
  ASSERT_TRUE(noReply) << why;
  EXPECT_FALSE(noReply->ExpectsReply());
}

TEST(WireMessageTest, HeadersDBusForbidsAreRefusedWithTheirReason) {
  const Field path = {1, 'o', "/db/1"}, member = {3, 's', "Seek"};
  const std::string longest = "a." + std::string(253, 'b');  // the longest name D-Bus allows
  std::string why;
  EXPECT_TRUE(ParseMessage(Message({path, {3, 's', std::string(255, 'M')}}), &why)) << why;
  EXPECT_TRUE(ParseMessage(Message({path, member, {2, 's', longest}, {6, 's', longest}}), &why))
      << why;
  const std::pair<std::string, const char*> refused[] = {
      {Message({path}), "path or member"},
      {Message({member}), "path or member"},
      {Message({path, member, member}), "twice"},
      {Message({{1, 's', "/db/1"}, member}), "wrong type"},
      {Message({path, {3, 's', "1Seek"}}), "member name"},
      {Message({path, {3, 's', std::string(256, 'M')}}), "member name"},
      {Message({path, member, {2, 's', "vorlix"}}), "interface name"},
      {Message({path, member, {2, 's', "vorlix..Connection"}}), "interface name"},
      {Message({path, member, {2, 's', "vorlix.1Connection"}}), "interface name"},
      {Message({path, member, {2, 's', longest + "b"}}), "interface name"},
      {Message({path, member, {6, 's', longest + "b"}}), "bus name"},
      {Message({path, member}, "abcd"), "without a signature"},
      {Message({{1, 'o', "/org/freedesktop/DBus/Local"}, member}), "local namespace"},
      {Message(kCall).substr(0, Message(kCall).size() - 1), "not exactly one message"},
      {"", "not exactly one message"},
      {"q" + Message(kCall).substr(1), "neither little- nor big-endian"},
      {Message({path, member, {0, 's', "zero"}}), "malformed"},
  };
  for (const auto& [bytes, reason] : refused) {
    why.clear();
    EXPECT_FALSE(ParseMessage(bytes, &why)) << reason;
    EXPECT_NE(why.find(reason), std::string::npos) << why;
  }
}

}  // namespace
}  // namespace vorlix
