#include <gtest/gtest.h>

#include "server/ClassFactory.h"
#include "server/DaoStatus.h"

namespace vorlix {
namespace {

// An outer object that counts what its aggregated object forwards to it.
class Outer final : public IUnknown {
 public:
  HRESULT QueryInterface(const IID&, void** object) override {
    ++queries;
    *object = nullptr;
    return E_NOINTERFACE;
  }
  uint32_t AddRef() override { return ++count; }
  uint32_t Release() override { return --count; }
  int queries = 0;
  uint32_t count = 1;
};

class ClassFactoryTest : public ::testing::Test {
 protected:
  ModuleLock lock_;
  ClassFactory<CDaoStatus> factory_{lock_};
};

TEST_F(ClassFactoryTest, RefusedCreationsLeaveNoObject) {
  EXPECT_EQ(factory_.CreateInstance(nullptr, kIDaoStatus.iid, nullptr), E_POINTER);
  Outer outer;
  void* object = &outer;
  EXPECT_EQ(factory_.CreateInstance(&outer, IID_IDispatch, &object), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  object = &outer;
  EXPECT_EQ(factory_.CreateInstance(nullptr, kIDBConnection.iid, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(lock_.Count(), 0);
}

TEST_F(ClassFactoryTest, AnAggregatedObjectDelegatesItsUnknownToTheOuterObject) {
  Outer outer;
  void* object = nullptr;
  ASSERT_EQ(factory_.CreateInstance(&outer, IID_IUnknown, &object), S_OK);
  auto* inner = static_cast<IUnknown*>(object);
  void* interface = nullptr;
  ASSERT_EQ(inner->QueryInterface(kIDaoStatus.iid, &interface), S_OK);
  EXPECT_EQ(outer.count, 2u);
  auto* status = static_cast<IDaoStatus*>(interface);
  void* other = nullptr;
  EXPECT_EQ(status->QueryInterface(IID_IDispatch, &other), E_NOINTERFACE);
  EXPECT_EQ(outer.queries, 1);
  status->Release();
  EXPECT_EQ(outer.count, 1u);
  EXPECT_EQ(lock_.Count(), 1);
  inner->Release();
  EXPECT_EQ(lock_.Count(), 0);
}

}  // namespace
}  // namespace vorlix
