#include "platform/component_host.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/folders.h"
#include "tests/support/test_env.h"

namespace {

using namespace std::chrono_literals;

// The test module (tests/installer/test_component.cpp) and its class.
constexpr const char* kModule = TEST_COMPONENT_MODULE;
constexpr const char* kClassId = "{6B0E5C1A-3F2D-4E7B-9A18-C4D2E0F1A357}";
constexpr int kCount = 1, kTimes = 2, kCountOff = 3;  // its dispatch IDs
constexpr int kStepEvent = 1, kDoneEvent = 2;

class Registry : public ::testing::Test {
protected:
    Registry() : registry_(dir_.file("components.ini")) {}
    testenv::ScratchDir dir_;
    platform::ComponentRegistry registry_;
};

TEST_F(Registry, AComponentIsFoundFromItsProgIdThroughItsCurrentVersion) {
    ASSERT_TRUE(registry_.registerComponent(
        "Gantry.Gantry", "{E91B52ED-8E44-11D5-8369-8555C730F863}", "/x/gantry.so"));
    EXPECT_EQ(registry_.defaultValue("Gantry.Gantry\\CurVer"), "Gantry.Gantry.1");
    EXPECT_EQ(registry_.classIdOf("Gantry.Gantry"), "{E91B52ED-8E44-11D5-8369-8555C730F863}");
    EXPECT_EQ(registry_.moduleOf("{E91B52ED-8E44-11D5-8369-8555C730F863}"), "/x/gantry.so");
    // Class IDs and ProgIDs are the same in any letter case.
    EXPECT_EQ(registry_.moduleOf("{e91b52ed-8e44-11d5-8369-8555c730f863}"), "/x/gantry.so");
    EXPECT_EQ(registry_.classIdOf("gantry.gantry"), "{E91B52ED-8E44-11D5-8369-8555C730F863}");
}

TEST_F(Registry, AMissingKeyEndsTheLookup) {
    EXPECT_EQ(registry_.classIdOf("Gantry.Gantry"), std::nullopt);  // no file at all
    ASSERT_TRUE(registry_.setDefaultValue("Gantry.Gantry\\CurVer", "Gantry.Gantry.2"));
    EXPECT_EQ(registry_.classIdOf("Gantry.Gantry"), std::nullopt);  // no version 2 key
    ASSERT_TRUE(registry_.setDefaultValue("Gantry.Gantry.2\\CLSID", "{1}"));
    EXPECT_EQ(registry_.classIdOf("Gantry.Gantry"), "{1}");
    EXPECT_EQ(registry_.moduleOf("{1}"), std::nullopt);
}

TEST_F(Registry, AHandWrittenRegistryReadsAsTheHostExpects) {
    testenv::writeFile(registry_.file(),
                       "; fenwald's components\n"
                       "[Vesk.VeskCtl\\CurVer]\n@=Vesk.VeskCtl.1\n"
                       "[Vesk.VeskCtl.1\\CLSID]\n@ = {1983824D-C89C-11D5-B137-A0145DB9EC72}\n"
                       "[CLSID\\{1983824D-C89C-11D5-B137-A0145DB9EC72}\\InprocServer32]\n"
                       "@=/opt/fenwald/lib vesk.so\n");
    EXPECT_EQ(registry_.moduleOf(*registry_.classIdOf("Vesk.VeskCtl")), "/opt/fenwald/lib vesk.so");
}

TEST_F(Registry, ARelativeModuleIsTakenFromTheRegistrysFolder) {
    // The installed registry names its modules so: it works wherever the tree was staged.
    testenv::writeFile(registry_.file(),
                       "[CLSID\\{1}\\InprocServer32]\n@=libvesk.so\n"
                       "[CLSID\\{2}\\InprocServer32]\n@=../lib/libgantry.so\n");
    EXPECT_EQ(registry_.moduleOf("{1}"), dir_.file("libvesk.so"));
    EXPECT_EQ(registry_.moduleOf("{2}"), dir_.file("../lib/libgantry.so"));
}

TEST(RegistryPath, WithoutOneBesideTheProgramItIsTheInstalledOne) {
    const std::string path = platform::componentRegistryPath();
    EXPECT_FALSE(platform::fileExists(
        platform::joinPath(platform::parentFolder(platform::executablePath()), "components.ini")));
    EXPECT_EQ(path.front(), '/');
    EXPECT_EQ(path.find("/../"), std::string::npos) << path;
    EXPECT_TRUE(path.ends_with("/fenwald/components.ini")) << path;
}

class Hosting : public Registry {
protected:
    Hosting() { registry_.registerComponent("Veltrix.Counting", kClassId, kModule); }

    std::unique_ptr<platform::HostedComponent> create(const std::string& classId = kClassId) {
        auto made = platform::createComponent(classId, registry_);
        EXPECT_TRUE(made.component) << made.error;
        if (made.component) made.component->component().connectEvents(&events_);
        return std::move(made.component);
    }

    platform::ComponentEventQueue events_;
};

TEST_F(Hosting, PropertiesAndMethodsGoByDispatchIdAndType) {
    auto hosted = create();
    ASSERT_TRUE(hosted);
    EXPECT_EQ(hosted->modulePath(), kModule);
    platform::Component& c = hosted->component();
    EXPECT_TRUE(c.setProperty(kCount, std::int32_t{7}));
    EXPECT_FALSE(c.setProperty(kCount, std::int16_t{7}));  // I2 where I4 is due
    EXPECT_FALSE(c.setProperty(99, std::int32_t{7}));
    EXPECT_EQ(c.invoke(kTimes, {std::int32_t{6}}), platform::DispatchValue(std::int32_t{42}));
    EXPECT_EQ(c.invoke(kTimes, {std::string("6")}), std::nullopt);
    EXPECT_EQ(c.invoke(kTimes, {}), std::nullopt);
    EXPECT_EQ(c.invoke(99, {}), std::nullopt);
}

TEST_F(Hosting, EventsComeFromTheComponentsThreadInOrder) {
    auto hosted = create();
    ASSERT_TRUE(hosted);
    std::thread::id pushedFrom;
    events_.setNotify([&] { pushedFrom = std::this_thread::get_id(); });
    hosted->component().setProperty(kCount, std::int32_t{3});
    EXPECT_EQ(hosted->component().invoke(kCountOff, {std::string("step")}),
              platform::DispatchValue{});
    for (std::int16_t step = 1; step <= 3; ++step) {
        auto e = events_.waitPop(10s);
        ASSERT_TRUE(e);
        EXPECT_EQ(e->dispatchId, kStepEvent);
        EXPECT_EQ(e->arguments, (std::vector<platform::DispatchValue>{step, std::string("step")}));
    }
    auto done = events_.waitPop(10s);
    ASSERT_TRUE(done);
    EXPECT_EQ(done->dispatchId, kDoneEvent);
    events_.setNotify(nullptr);
    EXPECT_NE(pushedFrom, std::this_thread::get_id());
}

TEST_F(Hosting, NoEventArrivesOnceTheComponentIsGone) {
    auto hosted = create();
    ASSERT_TRUE(hosted);
    hosted->component().setProperty(kCount, std::int32_t{1'000'000});
    hosted->component().invoke(kCountOff, {std::string("many")});
    ASSERT_TRUE(testenv::eventually([&] { return !events_.empty(); }));
    hosted.reset();  // stops the worker, then unloads the module
    const std::size_t after = events_.size();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(events_.size(), after);
}

TEST_F(Hosting, TwoObjectsOfOneModuleLiveApart) {
    auto a = create(), b = create();
    ASSERT_TRUE(a && b);
    a->component().setProperty(kCount, std::int32_t{2});
    b->component().setProperty(kCount, std::int32_t{5});
    a.reset();
    EXPECT_EQ(b->component().invoke(kTimes, {std::int32_t{1}}),
              platform::DispatchValue(std::int32_t{5}));
}

TEST_F(Hosting, AModuleNamedRelativeToTheRegistryIsLoaded) {
    const std::string relative = std::filesystem::relative(kModule, dir_.path()).string();
    ASSERT_NE(relative.front(), '/');
    registry_.registerComponent("Veltrix.Counting", kClassId, relative);
    auto hosted = create();
    ASSERT_TRUE(hosted);
    EXPECT_EQ(hosted->modulePath(), dir_.file(relative));
    EXPECT_TRUE(hosted->component().setProperty(kCount, std::int32_t{7}));
    EXPECT_EQ(hosted->component().invoke(kTimes, {std::int32_t{6}}),
              platform::DispatchValue(std::int32_t{42}));
}

TEST_F(Hosting, AClassIdInAnotherLetterCaseIsTheSameComponent) {
    EXPECT_TRUE(create("{6b0e5c1a-3f2d-4e7b-9a18-c4d2e0f1a357}"));
}

TEST_F(Hosting, FailuresNameTheComponentAndWhereTheHostLooked) {
    auto error = [&](const std::string& classId) {
        auto made = platform::createComponent(classId, registry_);
        EXPECT_FALSE(made.component);
        return made.error;
    };
    const std::string file = registry_.file();

    std::string e = error("{00000000-0000-0000-0000-000000000001}");
    EXPECT_EQ(e,
              "the component {00000000-0000-0000-0000-000000000001} is not registered in " + file);

    registry_.registerComponent("A.A", "{A}", dir_.file("missing.so"));
    e = error("{A}");
    EXPECT_TRUE(e.starts_with("cannot load " + dir_.file("missing.so") + " (the component {A} in " +
                              file + "): "))
        << e;
    EXPECT_NE(e.find("No such file"), std::string::npos) << e;  // the system's words

    testenv::writeFile(dir_.file("text.so"), "not a module\n");
    registry_.registerComponent("B.B", "{B}", dir_.file("text.so"));
    e = error("{B}");
    EXPECT_TRUE(e.starts_with("cannot load " + dir_.file("text.so"))) << e;

    // A real module that is not a component: the C library.
    Dl_info info{};
    ASSERT_NE(::dladdr(reinterpret_cast<void*>(&::strlen), &info), 0);
    registry_.registerComponent("C.C", "{C}", info.dli_fname);
    e = error("{C}");
    EXPECT_TRUE(
        e.starts_with(std::string(info.dli_fname) + " has no entry point veltrixCreateComponent"))
        << e;

    registry_.registerComponent("D.D", "{D}", kModule);
    EXPECT_EQ(error("{D}"),
              std::string(kModule) + " has no component {D} (registered in " + file + ")");
}

}  // namespace
