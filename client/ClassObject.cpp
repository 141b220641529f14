#include "client/ClassObject.h"

#include "automation/Dispatch.h"
#include "client/WireCall.h"
#include "protocol/WireNames.h"

namespace vorlix {
namespace {

// Calls a method answering (i hr, o path).
HRESULT CallForPath(sd_bus* bus, const char* path, const char* interface, const char* member,
                    const std::string& guid, std::string* result) {
  sd_bus_message* reply = nullptr;
  HRESULT hr = E_FAIL;
  const char* object = nullptr;
  if (CallMethod(bus, path, interface, member, &reply, "s", guid.c_str()) >= 0 &&
      sd_bus_message_read(reply, "io", &hr, &object) <= 0) {
    hr = MalformedAnswer(member);
  }
  if (SUCCEEDED(hr)) *result = object;
  sd_bus_message_unref(reply);
  return hr;
}

}  // namespace

ClassObject::ClassObject(BusRef bus, std::string path)
    : bus_(std::move(bus)), path_(std::move(path)) {}

HRESULT ClassObject::Get(BusRef bus, const std::string& clsid,
                         std::unique_ptr<ClassObject>* object) {
  object->reset();
  std::string path;
  const HRESULT hr =
      CallForPath(bus.get(), kRootPath, kActivatorInterface, "GetClassObject", clsid, &path);
  if (SUCCEEDED(hr)) *object = std::make_unique<ClassObject>(std::move(bus), std::move(path));
  return hr;
}

HRESULT ClassObject::LockServer(bool lock) {
  sd_bus_message* reply = nullptr;
  HRESULT hr = E_FAIL;
  if (CallMethod(bus_.get(), path_.c_str(), kClassFactoryInterface, "LockServer", &reply, "b",
                 lock ? 1 : 0) >= 0 &&
      sd_bus_message_read(reply, "i", &hr) <= 0) {
    hr = MalformedAnswer("LockServer");
  }
  sd_bus_message_unref(reply);
  return hr;
}

HRESULT ClassObject::CreateInstance(std::string* path) {
  return CallForPath(bus_.get(), path_.c_str(), kClassFactoryInterface, "CreateInstance",
                     IID_IDispatch.ToString(), path);
}

}  // namespace vorlix
