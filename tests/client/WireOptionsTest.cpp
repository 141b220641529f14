// A client packs the arrays it sends only for a server that said it reads them so: one that
// does not know the option gets them as it always did.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <systemd/sd-bus.h>

#include <string>
#include <thread>

#include "automation/SafeArray.h"
#include "client/ClientError.h"
#include "client/DispatchProxy.h"
#include "client/WireOptions.h"
#include "protocol/WireNames.h"

namespace vorlix::test {
namespace {

// A peer on one end of a socket pair that answers Invoke with the signature of the VARIANT
// payload it received (and PackArrays when told to know it), until the client goes.
class Peer {
 public:
  explicit Peer(bool knowsPacking) {
    int fds[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    sd_bus* server = nullptr;
    sd_id128_t id = SD_ID128_NULL;
    sd_id128_randomize(&id);
    sd_bus_new(&server);
    sd_bus_set_fd(server, fds[0], fds[0]);
    sd_bus_set_server(server, 1, id);
    sd_bus_set_anonymous(server, 1);
    sd_bus_add_object_vtable(server, nullptr, kRootPath, kDispatchInterface, kInvoke, this);
    if (knowsPacking) {
      sd_bus_add_object_vtable(server, nullptr, kRootPath, kWireOptionsInterface, kOptions, this);
    }
    EXPECT_GE(sd_bus_start(server), 0);
    thread_ = std::thread([server] {
      while (sd_bus_process(server, nullptr) >= 0)
        sd_bus_wait(server, UINT64_MAX);
      sd_bus_close_unref(server);
    });
    sd_bus* client = nullptr;
    sd_bus_new(&client);
    sd_bus_set_fd(client, fds[1], fds[1]);
    sd_bus_set_anonymous(client, 1);
    EXPECT_GE(sd_bus_start(client), 0);
    client_ = BusRef(client, [](sd_bus* b) {
      ForgetOptions(b);
      sd_bus_flush_close_unref(b);
    });
  }
  ~Peer() {
    client_.reset();
    thread_.join();
  }
  BusRef client_;

 private:
  static int Invoke(sd_bus_message* m, void*, sd_bus_error*) {
    int32_t dispid = 0;
    VARTYPE vt = 0;
    const char* payload = nullptr;
    sd_bus_message_read_basic(m, 'i', &dispid);
    sd_bus_message_enter_container(m, 'a', "(qv)");
    sd_bus_message_enter_container(m, 'r', "qv");
    sd_bus_message_read_basic(m, 'q', &vt);
    sd_bus_message_peek_type(m, nullptr, &payload);
    return sd_bus_reply_method_return(m, "i(qv)a(qv)u", S_OK, VT_BSTR, "s", payload, 0, 0);
  }
  static int PackArrays(sd_bus_message* m, void*, sd_bus_error*) {
    return sd_bus_reply_method_return(m, "");
  }
  static constexpr sd_bus_vtable kInvoke[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD("Invoke", "ia(qv)", "i(qv)a(qv)u", Invoke, 0),
      SD_BUS_VTABLE_END,
  };
  static constexpr sd_bus_vtable kOptions[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD(kPackArrays, "", "", PackArrays, 0),
      SD_BUS_VTABLE_END,
  };
  std::thread thread_;
};

std::string PayloadSent(Peer& peer) {
  AskForPackedArrays(peer.client_.get());
  DispatchProxy proxy(peer.client_, kRootPath);
  InvokeResult result;
  const Variant array = Variant::Array(SafeArray::Vector(VT_I4, 0, {Variant::I4(7)}));
  EXPECT_EQ(proxy.Invoke(1, {array}, &result), S_OK) << LastClientError();
  return result.result.AsBstr().Utf8();
}

TEST(WireOptions, ArraysGoPackedOnlyToAServerThatReadsThem) {
  Peer old(false);
  EXPECT_FALSE(ReadsPackedArrays(old.client_.get()));
  EXPECT_EQ(PayloadSent(old), "(a(ii)ai)");
  Peer current(true);
  EXPECT_EQ(PayloadSent(current), "ay");
  EXPECT_TRUE(ReadsPackedArrays(current.client_.get()));
}

}  // namespace
}  // namespace vorlix::test
