#include "client/ClientError.h"

namespace vorlix {
namespace {

std::string& Text() {
  thread_local std::string text;
  return text;
}

}  // namespace

const std::string& LastClientError() {
  return Text();
}

HRESULT ClientFailure(HRESULT hr, std::string text) {
  Text() = std::move(text);
  return hr;
}

void ClearClientError() {
  Text().clear();
}

}  // namespace vorlix
