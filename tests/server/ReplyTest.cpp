// Replies over a real connection: the server's inbox and outbox on an event loop, and an sd-bus
// client calling it from its own thread, over a socketpair. The client's sd-bus authenticates
// with the server's handshake, its calls are framed by the inbox, and it reads every reply, so
// the bytes the server reads and marshals itself meet a strict peer.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "automation/SafeArray.h"
#include "protocol/VariantCodec.h"
#include "server/Inbox.h"
#include "server/Outbox.h"
#include "server/Reply.h"

namespace vorlix {
namespace {

// Answers call with an HRESULT and value, as Invoke answers with its result.
void Answer(const ReceivedCall& call, const Variant& value) {
  Respond(call, "i(qv)", [&](WireWriter& reply, bool failed) {
    const HRESULT hr = failed ? E_OUTOFMEMORY : S_OK;
    int r = reply.Basic('i', &hr);
    if (r >= 0) r = AppendVariant(reply, failed ? Variant() : value) == S_OK ? 0 : -ENOMEM;
    return r;
  });
}

// What the client read for one call.
struct Answered {
  bool arrived = false;
  HRESULT hr = E_FAIL;
  Variant value;
};

// Serves the client side: answer(i, call) answers the i-th call. The client sends every call
// before it reads any reply, so replies queue up in the server's outbox behind one another.
std::vector<Answered> Serve(size_t calls,
                            const std::function<void(size_t, const ReceivedCall&)>& answer) {
  int fds[2];
  EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
  std::vector<Answered> got(calls);
  std::atomic<bool> done = false;
  std::thread client([&] {
    sd_bus* bus = nullptr;
    if (sd_bus_new(&bus) >= 0 && sd_bus_set_fd(bus, fds[1], fds[1]) >= 0 &&
        sd_bus_start(bus) >= 0) {
      auto onReply = [](sd_bus_message* reply, void* slot, sd_bus_error*) {
        auto* answered = static_cast<Answered*>(slot);
        answered->arrived = true;
        HRESULT hr = E_FAIL;
        if (sd_bus_message_read_basic(reply, 'i', &hr) > 0 &&
            ReadVariant(reply, &answered->value) == S_OK) {
          answered->hr = hr;
        }
        return 0;
      };
      for (Answered& slot : got)
        sd_bus_call_method_async(bus, nullptr, nullptr, "/", "t.T", "M", onReply, &slot, "");
      while (!std::all_of(got.begin(), got.end(), [](const Answered& a) { return a.arrived; })) {
        const int r = sd_bus_process(bus, nullptr);
        if (r < 0 || (r == 0 && sd_bus_wait(bus, UINT64_MAX) < 0)) break;
      }
    }
    sd_bus_flush_close_unref(bus);
    done = true;
  });

  sd_event* event = nullptr;
  EXPECT_GE(sd_event_new(&event), 0);
  {
    auto outbox = std::make_shared<Outbox>(fds[0], event);
    size_t seen = 0;
    bool closed = false;
    Inbox inbox(
        fds[0], getuid(), event, *outbox,
        [&](std::unique_ptr<const WireMessage> m) {
          if (m->type == MessageType::kMethodCall)
            answer(seen++, ReceivedCall{std::move(m), outbox});
        },
        [&](const std::string&) { closed = true; });
    EXPECT_GE(inbox.Start(), 0);
    while (!done && !closed)
      sd_event_run(event, 100'000);
  }
  client.join();
  sd_event_unref(event);
  return got;
}

TEST(ReplyTest, EveryKindOfValueMarshalledByTheServerReadsBackAsItWas) {
  SafeArray grid(VT_I4, {{1, 3}, {-2, 2}});
  for (int32_t n = 0; n < 6; ++n)
    grid.Set(std::vector<int32_t>{1 + n % 3, -2 + n / 3}, Variant::I4(n));
  const auto vector = [](VARTYPE vt, std::vector<Variant> elements) {
    return Variant::Array(SafeArray::Vector(vt, 0, std::move(elements)));
  };
  // Mixed alignments one after another, so that padding is exercised between them.
  const std::vector<Variant> values = {
      Variant(),
      Variant::Signed(VT_I1, -128),
      Variant::Bool(true),
      Variant::Real(VT_R4, 1.5),
      Variant::Date(45000.5),
      Variant::Currency(-123456789012345),
      Variant::Unsigned(VT_UI4, 4000000000u),
      Variant::Unsigned(VT_UI8, UINT64_MAX),
      Variant::Dec({4, 0x80, 0xFFFFFFFFu, 0x123456789ABCDEF0ull}),
      Variant::Str(Bstr(u"h\u00e9llo \U0001F600")),
      Variant::Str(Bstr(u"")),
      Variant::Str(Bstr(std::u16string(u"a\0b", 3))),
      Variant::Str(Bstr(std::u16string(1, u'\xD800'))),
      vector(VT_VARIANT,
             {Variant::I4(1), Variant::Null(), vector(VT_VARIANT, {}), Variant::Str(Bstr(u"x")),
              Variant::R8(2.5), Variant::Unsigned(VT_UI1, 3)}),
      Variant::Array(grid),
      Variant::Array(SafeArray::ByteVector({0, 200, 7})),
      vector(VT_BSTR, {Variant::Str(Bstr(u"a")), Variant::Str(Bstr(u"\u00e9t\u00e9"))}),
  };
  const std::vector<Answered> got =
      Serve(values.size(), [&](size_t i, const ReceivedCall& call) { Answer(call, values[i]); });
  for (size_t i = 0; i < values.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(got[i].hr, S_OK);
    EXPECT_EQ(got[i].value, values[i]);
  }
}

TEST(ReplyTest, ValueAPeerWouldRefuseGoesAsOutOfMemoryAndTheConnectionGoesOn) {
  // One text in an array, 69 MB as UTF-8: more than a peer accepts in one array.
  const Variant large = Variant::Array(
      SafeArray::Vector(VT_BSTR, 0, {Variant::Str(Bstr(std::u16string(23'000'000, u'\u20AC')))}));
  const Variant small = Variant::I4(7);
  const std::vector<Answered> got =
      Serve(2, [&](size_t i, const ReceivedCall& call) { Answer(call, i == 0 ? large : small); });
  EXPECT_EQ(got[0].hr, E_OUTOFMEMORY);
  EXPECT_EQ(got[0].value.vt(), VT_EMPTY);
  EXPECT_EQ(got[1].hr, S_OK);
  EXPECT_EQ(got[1].value, small);
}

// A reply larger than the socket takes at once waits in the outbox while the client reads it;
// the replies made meanwhile follow it whole, in order, not into the middle of it.
TEST(ReplyTest, RepliesKeepTheirOrderWhenTheSocketIsFull) {
  std::vector<uint8_t> bytes(40 << 20);
  for (size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<uint8_t>(i * 7);
  const Variant big = Variant::Array(SafeArray::ByteVector(bytes));
  const std::vector<Answered> got = Serve(3, [&](size_t i, const ReceivedCall& call) {
    Answer(call, i == 0 ? big : Variant::I4(static_cast<int32_t>(i + 1)));
  });
  EXPECT_EQ(got[0].hr, S_OK);
  EXPECT_TRUE(got[0].value == big);
  EXPECT_EQ(got[1].value, Variant::I4(2));
  EXPECT_EQ(got[2].value, Variant::I4(3));
}

}  // namespace
}  // namespace vorlix
