#include <gtest/gtest.h>

#include <thread>

#include "com_stand_in.h"
#include "win/com.h"

namespace {

constexpr CLSID kClass = {0x5a1f0c3e, 0x91d2, 0x4b7e, {0x8a, 0x10, 0x3c, 0x55, 0x21, 0x7e, 0x90, 0x04}};
constexpr IID kInterface = {0x5a1f0c3f, 0x91d2, 0x4b7e, {0x8a, 0x10, 0x3c, 0x55, 0x21, 0x7e, 0x90, 0x04}};

TEST(Com, InitialisationIsCountedPerThread) {
  ASSERT_EQ(morva::platform::com_init_count(), 0u);
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);  // not counted
  EXPECT_EQ(CoInitializeEx(reinterpret_cast<LPVOID>(1), COINIT_APARTMENTTHREADED), E_INVALIDARG);
  EXPECT_EQ(morva::platform::com_init_count(), 2u);
  // Another thread starts uninitialised and may pick its own model.
  std::thread([] {
    EXPECT_EQ(morva::platform::com_init_count(), 0u);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    CoUninitialize();
  }).join();
  CoUninitialize();
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);  // still initialised once
  CoUninitialize();
  CoUninitialize();
  EXPECT_EQ(morva::platform::com_init_count(), 0u);
  CoUninitialize();  // one too many is harmless
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);  // fully undone: a new model
  CoUninitialize();
}

TEST(Com, UnregisteredClassesAreAbsent) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, kInterface, &object), CO_E_NOTINITIALIZED);
  EXPECT_EQ(object, nullptr);
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, kInterface, &object),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, kInterface, nullptr), E_POINTER);
  CoUninitialize();
}

TEST(Com, RegisteredFactoryCreatesObjects) {
  morva::test::StandInFactory factory(kInterface);
  morva::platform::register_com_class(kClass, &factory);
  EXPECT_EQ(factory.refs, 1);
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));

  IUnknown* object = nullptr;
  ASSERT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, kInterface,
                             reinterpret_cast<void**>(&object)),
            S_OK);
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(factory.alive, 1);
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_EQ(factory.alive, 0);

  // The factory's refusals pass through and leave no object.
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, kClass, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  // A context the class is not registered for.
  EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_LOCAL_SERVER, kInterface, &out), REGDB_E_CLASSNOTREG);

  morva::platform::register_com_class(kClass, nullptr);
  EXPECT_EQ(factory.refs, 0);
  EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, kInterface, &out), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(factory.created, 1);
  CoUninitialize();
}

}  // namespace
