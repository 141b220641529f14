#include "server/StatusReport.h"

#include <systemd/sd-bus.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>

#include "activation/RuntimeDirectory.h"
#include "protocol/WireNames.h"

namespace vorlix {
namespace {

constexpr uint64_t kAnswerWithin = 5'000'000;  // microseconds

// "1:02:05" for 3725 seconds.
std::string Duration(uint64_t seconds) {
  char text[32];
  snprintf(text, sizeof text, "%llu:%02llu:%02llu", static_cast<unsigned long long>(seconds / 3600),
           static_cast<unsigned long long>(seconds / 60 % 60),
           static_cast<unsigned long long>(seconds % 60));
  return text;
}

}  // namespace

int ReportStatus(FILE* out, FILE* err) {
  const std::string socketPath = ServerSocketPath(RuntimeDirectoryPath());
  const std::string address = "unix:path=" + socketPath;
  sd_bus* bus = nullptr;
  if (sd_bus_new(&bus) < 0 || sd_bus_set_address(bus, address.c_str()) < 0 ||
      sd_bus_set_method_call_timeout(bus, kAnswerWithin) < 0 || sd_bus_start(bus) < 0) {
    sd_bus_close_unref(bus);
    fprintf(out, "no server runs for uid %u: none listens on %s\n", geteuid(), socketPath.c_str());
    return 3;
  }
  sd_bus_error error = SD_BUS_ERROR_NULL;
  sd_bus_message* reply = nullptr;
  uint32_t pid = 0, clients = 0, objects = 0, locks = 0;
  uint64_t started = 0;
  char** databases = nullptr;
  int r = sd_bus_call_method(bus, nullptr, kRootPath, kStatusInterface, "GetStatus", &error, &reply,
                             "");
  if (r >= 0 && !sd_bus_message_has_signature(reply, kStatusSignature)) r = -EBADMSG;
  if (r >= 0) r = sd_bus_message_read(reply, "utuuu", &pid, &started, &clients, &objects, &locks);
  if (r >= 0) r = sd_bus_message_read_strv(reply, &databases);
  if (r < 0) {
    fprintf(err, "vorlix-server: the server on %s did not tell its status: %s\n",
            socketPath.c_str(), sd_bus_error_is_set(&error) ? error.message : strerror(-r));
  } else {
    const uint64_t now = std::chrono::duration_cast<std::chrono::microseconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
    fprintf(out, "a server runs for uid %u: pid %u, up %s\n", geteuid(), pid,
            Duration(now > started ? (now - started) / 1'000'000 : 0).c_str());
    fprintf(out, "socket: %s\nclients: %u\nobjects: %u\nlocks: %u\n", socketPath.c_str(), clients,
            objects, locks);
    size_t count = 0;
    while (databases && databases[count])
      ++count;
    fprintf(out, "open databases: %zu\n", count);
    for (size_t i = 0; i < count; ++i)
      fprintf(out, "  %s\n", databases[i]);
  }
  for (size_t i = 0; databases && databases[i]; ++i)
    free(databases[i]);
  free(databases);
  sd_bus_error_free(&error);
  sd_bus_message_unref(reply);
  sd_bus_flush_close_unref(bus);
  return r < 0 ? 1 : 0;
}

}  // namespace vorlix
