#include "client/WireOptions.h"

#include <mutex>
#include <unordered_set>

#include "protocol/WireNames.h"

namespace vorlix {
namespace {

// Connections are shared between threads, and sd-bus keeps nothing of ours with them.
std::mutex lock;
std::unordered_set<const sd_bus*>& Packing() {
  static auto* buses = new std::unordered_set<const sd_bus*>;
  return *buses;
}

}  // namespace

void AskForPackedArrays(sd_bus* bus) {
  if (sd_bus_call_method(bus, nullptr, kRootPath, kWireOptionsInterface, kPackArrays, nullptr,
                         nullptr, "") < 0) {
    return;
  }
  std::lock_guard<std::mutex> hold(lock);
  Packing().insert(bus);
}

bool ReadsPackedArrays(const sd_bus* bus) {
  std::lock_guard<std::mutex> hold(lock);
  return Packing().count(bus) != 0;
}

void ForgetOptions(const sd_bus* bus) {
  std::lock_guard<std::mutex> hold(lock);
  Packing().erase(bus);
}

}  // namespace vorlix
