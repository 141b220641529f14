// Replies over a real connection: a server-mode bus answering with Respond, and a client bus
// calling it from its own thread, over a socketpair.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <thread>

#include "automation/SafeArray.h"
#include "protocol/VariantCodec.h"
#include "server/Reply.h"

namespace vorlix {
namespace {

// Answers call with an HRESULT and value, as Invoke answers with its result.
void Answer(sd_bus_message* call, const Variant& value) {
  Respond(call, FitsInReply(value, {}), [&](sd_bus_message* reply, bool failed) {
    const HRESULT hr = failed ? E_OUTOFMEMORY : S_OK;
    int r = sd_bus_message_append_basic(reply, 'i', &hr);
    if (r >= 0) r = AppendVariant(reply, failed ? Variant() : value) == S_OK ? 0 : -ENOMEM;
    return r;
  });
}

TEST(ReplyTest, ValueAPeerWouldRefuseGoesAsOutOfMemoryAndTheConnectionGoesOn) {
  // One text in an array, 69 MB as UTF-8: more than a peer accepts in one array.
  const Variant large = Variant::Array(
      SafeArray::Vector(VT_BSTR, 0, {Variant::Str(Bstr(std::u16string(23'000'000, u'\u20AC')))}));
  const Variant small = Variant::I4(7);
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);

  HRESULT hr[2] = {E_FAIL, E_FAIL};
  Variant got[2];
  std::thread client([&] {
    sd_bus* bus = nullptr;
    if (sd_bus_new(&bus) < 0 || sd_bus_set_fd(bus, fds[1], fds[1]) < 0 || sd_bus_start(bus) < 0)
      return;
    for (int i = 0; i < 2; ++i) {
      sd_bus_message* reply = nullptr;
      HRESULT answer = E_FAIL;
      if (sd_bus_call_method(bus, nullptr, "/", "t.T", "M", nullptr, &reply, "") >= 0 &&
          sd_bus_message_read_basic(reply, 'i', &answer) > 0 &&
          ReadVariant(reply, &got[i]) == S_OK) {
        hr[i] = answer;
      }
      sd_bus_message_unref(reply);
    }
    sd_bus_flush_close_unref(bus);
  });

  sd_bus* server = nullptr;
  sd_id128_t id;
  int r = sd_id128_randomize(&id);
  if (r >= 0) r = sd_bus_new(&server);
  if (r >= 0) r = sd_bus_set_fd(server, fds[0], fds[0]);
  if (r >= 0) r = sd_bus_set_server(server, 1, id);
  if (r >= 0) r = sd_bus_start(server);
  // Until both calls are answered, or the client has gone.
  for (int answered = 0; r >= 0 && answered < 2;) {
    sd_bus_message* call = nullptr;
    r = sd_bus_process(server, &call);
    if (call && sd_bus_message_is_method_call(call, nullptr, nullptr))
      Answer(call, answered++ == 0 ? large : small);
    sd_bus_message_unref(call);
    if (r == 0) r = sd_bus_wait(server, UINT64_MAX);
  }
  client.join();
  sd_bus_flush_close_unref(server);

  EXPECT_EQ(hr[0], E_OUTOFMEMORY);
  EXPECT_EQ(got[0].vt(), VT_EMPTY);
  EXPECT_EQ(hr[1], S_OK);
  EXPECT_EQ(got[1], small);
}

}  // namespace
}  // namespace vorlix
