// Register access through Device: conversion, aliasing, access modes, ranges and faults.
#include "DeviceFixture.h"

#include <Corvane/LogCapture.h>

#include <cmath>
#include <limits>
#include <thread>

using CorvaneTest::DeviceFixture;

namespace {

  void expectMessage(const std::exception& e, std::initializer_list<std::string> mentions) {
    for(const auto& text : mentions) EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
  }

  TEST_F(DeviceFixture, WritesAndReadsThroughTheRegisterFormat) {
    device.writeScalar<double>("Setting", 0.5);
    EXPECT_EQ(*dummy->rawWords(0, 0x4, 1), 65536); // 0.5 * 2^17
    EXPECT_EQ(device.readScalar<double>("Readback"), 0.5);  // the same word
    device.writeScalar<std::string>("Setting", "-0.25");
    EXPECT_EQ(device.readScalar<float>("/Readback"), -0.25f);
    device.writeScalar<float>("Float", 0.1f);
    EXPECT_EQ(device.readScalar<std::string>("Float"), "0.1");
    device.write<int>("Table", {1, -2, 40000});             // the last one saturates at 16 bits
    EXPECT_EQ(device.read<int>("Table", 3), (std::vector<int>{1, -2, 32767}));
    EXPECT_EQ(device.read<std::uint16_t>("Table", 2), (std::vector<std::uint16_t>{1, 0}));
  }

  TEST_F(DeviceFixture, OneDimensionalRegisterSeesOneChannelOfAnArea) {
    dummy->setRegister<int>("DaqArea", {0, 1, 2, 3, 10, 11, 12, 13}); // channel 0, then channel 1
    EXPECT_EQ(device.read<int>("Daq.channel1"), (std::vector<int>{10, 11, 12, 13}));
    EXPECT_EQ(device.read<int>("DaqArea", 4, 4), (std::vector<int>{10, 11, 12, 13}));
    EXPECT_EQ(device.read<int>("DaqArea", 2, 1), (std::vector<int>{1, 2}));
  }

  TEST_F(DeviceFixture, AccessModesAreEnforced) {
    struct Case {
      const char* what;
      std::function<void()> access;
      const char* says;
    };
    const Case cases[] = {
        {"write Status", [&] { device.writeScalar<int>("Status", 1); }, "read-only"},
        {"write Readback", [&] { device.writeScalar<double>("Readback", 1); }, "read-only"},
        {"read Command", [&] { device.readScalar<int>("Command"); }, "write-only"},
        {"read Strobe", [&] { device.read<int>("Strobe"); }, "write-only"},
        {"write TriggerData", [&] { device.writeScalar<int>("TriggerData", 1); }, "interrupt"},
    };
    for(const auto& c : cases) {
      SCOPED_TRACE(c.what);
      try {
        c.access();
        ADD_FAILURE() << "allowed";
      }
      catch(const Corvane::logic_error& e) {
        expectMessage(e, {c.says, "board.map:", "Board"});
      }
    }
    EXPECT_EQ(dummy->getWriteCount(), 0u);
  }

  TEST_F(DeviceFixture, UnknownRegisterNamesPathAndMap) {
    try {
      device.read<int>("/No/such/register");
      ADD_FAILURE() << "read";
    }
    catch(const Corvane::logic_error& e) {
      expectMessage(e, {"/No/such/register", mapFile, "Board"});
    }
  }

  TEST_F(DeviceFixture, ElementRangesMustLieInTheRegister) {
    EXPECT_THROW(device.read<int>("Table", 9), Corvane::logic_error);
    EXPECT_THROW(device.read<int>("Table", 0, 8), Corvane::logic_error);
    EXPECT_THROW(device.read<int>("Table", 1, 8), Corvane::logic_error);
    EXPECT_THROW(device.write<int>("Table", {1, 2, 3}, 6), Corvane::logic_error);
    EXPECT_THROW(device.write<int>("Table", {}), Corvane::logic_error);
    device.write<int>("Table", {7, 8}, 6);
    EXPECT_EQ(device.read<int>("Table"), (std::vector<int>{0, 0, 0, 0, 0, 0, 7, 8}));
    EXPECT_EQ(device.read<int>("Table", 0, 7), std::vector<int>{8});
  }

  TEST_F(DeviceFixture, NaNIsNeverWritten) {
    device.write<double>("Table", {1, 2, 3});
    dummy->resetWriteCounts();
    try {
      device.write<double>("Table", {4, 5, std::numeric_limits<double>::quiet_NaN()});
      ADD_FAILURE() << "NaN written";
    }
    catch(const Corvane::logic_error& e) {
      expectMessage(e, {"/Table", "NaN"});
    }
    EXPECT_EQ(dummy->getWriteCount(), 0u);
    EXPECT_EQ(device.read<double>("Table", 3), (std::vector<double>{1, 2, 3}));
  }

  TEST_F(DeviceFixture, DeviceFaultsAreRuntimeErrorsNamingDeviceAndRegister) {
    dummy->setReadFails(true);
    try {
      device.readScalar<int>("Status");
      ADD_FAILURE() << "read";
    }
    catch(const Corvane::runtime_error& e) {
      expectMessage(e, {"Board", "/Status", "simulated read failure"});
    }
    dummy->setReadFails(false);
    dummy->setWriteFails(true);
    EXPECT_THROW(device.writeScalar<int>("Setting", 1), Corvane::runtime_error);
    dummy->setWriteFails(false);

    device.close();
    EXPECT_FALSE(device.isOpened());
    EXPECT_THROW(device.readScalar<int>("Status"), Corvane::runtime_error);
    dummy->setOpenFails(true);
    EXPECT_THROW(device.open(), Corvane::runtime_error);
    EXPECT_FALSE(device.isOpened());
    dummy->setOpenFails(false);
    device.open(); // recovery: opening again works once the board is back
    EXPECT_EQ(device.readScalar<int>("Status"), 0);
  }

  TEST_F(DeviceFixture, AliasAndDescriptorShareOneDevice) {
    Corvane::Device byDescriptor("(dummy:board?map=" + mapFile + ")");
    EXPECT_EQ(byDescriptor.getBackend(), device.getBackend());
    EXPECT_TRUE(byDescriptor.isOpened());
    device.close();
    EXPECT_FALSE(byDescriptor.isOpened());
    EXPECT_THROW(Corvane::Device().read<int>("Status"), Corvane::logic_error);
  }

#ifdef CORVANE_DEVICE_HAS_FRAMEWORK_TYPES
  TEST_F(DeviceFixture, VoidRegistersStrobe) {
    device.writeScalar<Corvane::Void>("Strobe", {});
    EXPECT_EQ(dummy->getRegister<Corvane::Void>("Strobe").size(), 1u);
    EXPECT_EQ(*dummy->rawWords(0, 0x34, 1), 1);
    EXPECT_THROW(device.writeScalar<int>("Strobe", 5), Corvane::logic_error); // carries no data
  }
#endif

  TEST_F(DeviceFixture, InterruptsCallTheirSubscribers) {
    dummy->setRegister<int>("TriggerData", {17});
    std::vector<int> seen;
    auto subscription = device.subscribeInterrupt("Trigger", [&] { seen.push_back(device.readScalar<int>("TriggerData")); });
    dummy->triggerInterrupt(1);
    EXPECT_TRUE(seen.empty());
    dummy->triggerInterrupt(2);
    EXPECT_EQ(seen, std::vector<int>{17});
    subscription.cancel();
    dummy->triggerInterrupt(2);
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_THROW(device.subscribeInterrupt("Status", [] {}), Corvane::logic_error);
  }

  TEST_F(DeviceFixture, ConcurrentClientsNeverSeeHalfWrittenRegisters) {
    // writers fill the whole table with one value; a torn transfer would mix two
    std::vector<std::thread> threads;
    std::atomic<int> tornReads{0};
    for(int writer = 1; writer <= 2; ++writer) {
      threads.emplace_back([&, writer] {
        for(int i = 0; i < 2000; ++i) device.write<int>("Table", std::vector<int>(8, writer * 10000 + i % 1000));
      });
    }
    threads.emplace_back([&] {
      for(int i = 0; i < 4000; ++i) {
        auto values = device.read<int>("Table");
        if(std::adjacent_find(values.begin(), values.end(), std::not_equal_to<>()) != values.end()) ++tornReads;
      }
    });
    for(auto& thread : threads) thread.join();
    EXPECT_EQ(tornReads.load(), 0);
  }

} // namespace

namespace {

  TEST_F(DeviceFixture, ARefusedConversionKeepsTheWordsOfTheLastAcceptedValue) {
    auto setting = device.getRegisterAccessor<double>("Setting");
    setting->value() = {0.5};
    setting->convertForWrite();
    setting->value() = {std::nan("")};
    EXPECT_THROW(setting->convertForWrite(), Corvane::logic_error);
    EXPECT_EQ(dummy->getWriteCount(), 0u); // converting writes nothing
    setting->writeConverted();
    setting->writeConverted(); // again, as a recovery's rewrite does
    EXPECT_EQ(device.readScalar<double>("Readback"), 0.5);
    EXPECT_EQ(dummy->getWriteCount(), 2u);
  }

  TEST_F(DeviceFixture, SaturatedWritesWarnOncePerEpisodeNamingTheFirstElement) {
    Corvane::LogCapture log("Device Board");
    auto table = device.getRegisterAccessor<int>("Table", 4, 2);
    const std::vector<std::vector<int>> writes{
        {1, 40000, -40000, 4}, {40000, 0, 0, 0}, {1, 2, 3, 4}, {0, 0, 0, -32769}};
    const std::size_t saturated[] = {2, 1, 0, 1};
    for(std::size_t i = 0; i < writes.size(); ++i) {
      table->value() = writes[i];
      table->write();
      EXPECT_EQ(table->lastSaturation().count, saturated[i]) << "write " << i;
    }
    EXPECT_EQ(table->convertedValue(), (std::vector<int>{0, 0, 0, -32768})); // what the register holds
    auto warnings = log.warningsContaining("cannot hold");
    ASSERT_EQ(warnings.size(), 2u); // the first write starts an episode, the third ends it
    // element 3 of the register is the first saturated one of the first write (the accessor starts at 2)
    EXPECT_NE(warnings[0].find("register /Table cannot hold 40000: it holds 32767 (element 3; 2 of 4"),
        std::string::npos) << warnings[0];
    EXPECT_NE(warnings[1].find("-32769: it holds -32768 (element 5;"), std::string::npos) << warnings[1];
  }

} // namespace
