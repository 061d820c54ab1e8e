// The crash guard's registries: the pair list, the process registry found through the environment, per-thread state.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "support/crash_guard_platform.h"
#include "support/crash_guard_registry.h"

namespace korvane {
namespace {

std::string AddressText(const void* address) { return std::to_string(reinterpret_cast<uintptr_t>(address)); }

TEST(CrashGuardRegistry, ReadsWritesAndReplacesPairs) {
  GuardRegistry registry;
  EXPECT_EQ(registry.read("_SEH.AppGlobalOption"), 0u);
  EXPECT_TRUE(registry.write("a", 1));
  EXPECT_TRUE(registry.write("b", 2));
  EXPECT_TRUE(registry.write("a", 3));
  EXPECT_EQ(registry.read("a"), 3u);
  EXPECT_EQ(registry.read("b"), 2u);
  EXPECT_EQ(registry.read("A"), 0u) << "keys are exact";

  EXPECT_TRUE(registry.write(std::string(64, 'k'), 4));
  EXPECT_FALSE(registry.write(std::string(65, 'k'), 5));
  for (int i = 0; registry.write("key" + std::to_string(i), 6); ++i) {
  }
  EXPECT_FALSE(registry.write("one more", 7)) << "full";
  EXPECT_TRUE(registry.write("a", 8)) << "a full list still takes new values for its keys";
  EXPECT_EQ(registry.read("a"), 8u);
}

TEST(CrashGuardRegistry, TheProcessRegistryIsFoundThroughTheEnvironment) {
  EXPECT_EQ(ProcessRegistryVariable(1234), "__processStrMap_1234");
  const std::string name = ProcessRegistryVariable(guard::ProcessId());
  GuardRegistry* registry = ProcessRegistry();
  ASSERT_NE(registry, nullptr);
  EXPECT_EQ(ProcessRegistry(), registry);
  char value[32];
  ASSERT_TRUE(guard::ReadEnvironment(name.c_str(), value));
  EXPECT_EQ(value, AddressText(registry));

  // A registry that another copy of the guard created is used, not replaced.
  GuardRegistry other;
  guard::WriteEnvironment(name.c_str(), AddressText(&other).c_str());
  EXPECT_EQ(ProcessRegistry(), &other);
  guard::WriteEnvironment(name.c_str(), AddressText(registry).c_str());
}

TEST(CrashGuardRegistry, EachThreadHasItsOwnStateUntilItIsDiscarded) {
  GuardRegistry* mine = ThreadRegistry(true);
  ASSERT_NE(mine, nullptr);
  EXPECT_EQ(ThreadRegistry(false), mine);
  std::thread([mine] {
    EXPECT_EQ(ThreadRegistry(false), nullptr);
    GuardRegistry* its = ThreadRegistry(true);
    EXPECT_NE(its, mine);
    ThreadContext* context = CurrentThreadContext(true);
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(its->read(kThreadContextKey), reinterpret_cast<uintptr_t>(context));
    DiscardThreadState();
    EXPECT_EQ(ThreadRegistry(false), nullptr);
    EXPECT_EQ(CurrentThreadContext(false), nullptr);
  }).join();
  EXPECT_EQ(ThreadRegistry(false), mine);
}

TEST(CrashGuardRegistry, AGuardedThreadNamesItsStartRoutineAndLeavesNothingBehind) {
  std::thread([] {
    size_t entries = 0;
    std::string_view name;
    CrashGuard::guardThread([&] {
      const ThreadCallStack* stack = CurrentCallStack(false);
      ASSERT_NE(stack, nullptr);
      entries = stack->count;
      name = stack->entries[0].name;
      EXPECT_NE(stack->entries[0].returnAddress, 0u);
    });
    EXPECT_EQ(entries, 1u);
    EXPECT_EQ(name, kStartRoutineName);
    EXPECT_EQ(CurrentCallStack(false), nullptr);
    EXPECT_EQ(ThreadRegistry(false), nullptr);
  }).join();
}

TEST(CrashGuardRegistry, OptionsAreCreatedWithTheDefaultsAndStoredWhole) {
  const GuardOptions before = LoadOptions();
  EXPECT_EQ(before.armed, 0);
  EXPECT_EQ(before.maxSymbolDistance, 4096);
  EXPECT_NE(ProcessRegistry()->read(kOptionsKey), 0u);
  GuardOptions changed = before;
  changed.showMessageBox = 0;
  changed.maxSymbolDistance = 7;
  StoreOptions(changed);
  EXPECT_EQ(LoadOptions().showMessageBox, 0);
  EXPECT_EQ(LoadOptions().maxSymbolDistance, 7);
  StoreOptions(before);
}

}  // namespace
}  // namespace korvane
