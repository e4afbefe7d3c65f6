// The shared fixture of the module's unit tests: the module initialised through the host as a browser
// does, fresh test doubles, and after every test the proof that nothing was left behind: no
// NPN_MemAlloc block, no script object the test did not keep, no bad release, no module-heap block.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "host/host.h"
#include "plugin/entry_points.h"
#include "tests/doubles/doubles.h"

// The module's five exports, linked directly in this build, as the host's entry points.
inline host::PluginEntryPoints ModuleEntryPoints() {
  return host::PluginEntryPoints{NP_GetEntryPoints, NP_Initialize, NP_Shutdown, NP_GetMIMEDescription,
                                 NP_GetValue};
}

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    doubles::Reset();
    host::HoldReferences(true);
    host::FailMemAllocAt(0);
    host::TakeException(nullptr);
    host::SetDocumentOrigin(nullptr);
    before_ = host::GetCounters();
    ASSERT_EQ(plugin_.Initialize(), NPERR_NO_ERROR);
  }

  void TearDown() override {
    host::FailMemAllocAt(0);
    host::HoldReferences(true);
    doubles::FailAllocAt(0);
    doubles::FailAllocsFrom(0);
    // What the test kept goes first, then the page's instances, as a browser leaves a page.
    for (NPObject* object : kept_) host::ReleaseObject(object);
    kept_.clear();
    instances_.clear();
    host::TakeException(nullptr);

    const host::Counters after = host::GetCounters();
    EXPECT_EQ(after.memAllocBlocks, before_.memAllocBlocks) << "NPN_MemAlloc blocks left outstanding";
    EXPECT_EQ(after.liveObjects, before_.liveObjects) << "script objects left alive";
    EXPECT_EQ(after.badReleases, before_.badReleases) << "string blocks released twice or not the host's";
    EXPECT_EQ(after.badObjectReleases, before_.badObjectReleases) << "objects released once too often";
    EXPECT_EQ(after.badObjectUses, before_.badObjectUses) << "calls on objects no longer alive";
    EXPECT_EQ(doubles::LiveBlocks(), 0u) << "module heap blocks left allocated";
  }

  // A page element, destroyed (NPP_Destroy) at the end of the test.
  host::Instance& NewInstance() {
    instances_.push_back(std::make_unique<host::Instance>(plugin_));
    return *instances_.back();
  }

  // An object the test keeps; its reference is given up at the end of the test, before the checks.
  NPObject* Keep(NPObject* object) {
    kept_.push_back(object);
    return object;
  }
  NPObject* NewArray() { return Keep(host::NewArray()); }
  NPObject* NewObject() { return Keep(host::NewObject()); }

  // The counters as the test began, for tests that count what a call did.
  const host::Counters& CountersBefore() const { return before_; }

  host::Plugin plugin_{ModuleEntryPoints()};

 private:
  host::Counters before_;
  std::vector<std::unique_ptr<host::Instance>> instances_;
  std::vector<NPObject*> kept_;
};
