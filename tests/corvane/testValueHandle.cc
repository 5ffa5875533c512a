// The typed value handle: it names the type of what it points to, reaches the value as that type,
// refuses to be read as another type, and keeps (or lets go of) what it shares.
#include <Corvane/Exception.h>
#include <Corvane/ValueHandle.h>
#include <Corvane/detail/Channel.h>

#include <gtest/gtest.h>

#include <type_traits>

using namespace Corvane;

namespace {
  constexpr DataType everyType[] = {DataType::int8, DataType::uint8, DataType::int16, DataType::uint16,
      DataType::int32, DataType::uint32, DataType::int64, DataType::uint64, DataType::float32, DataType::float64,
      DataType::string, DataType::boolean, DataType::nodata};

  std::string contractBreak(const auto& action) {
    try {
      action();
    }
    catch(logic_error& e) {
      return e.what();
    }
    return "no contract break";
  }
} // namespace

TEST(ValueHandle, VisitReachesTheVectorOfEveryTypeItself) {
  for(auto type : everyType) {
    SCOPED_TRACE(std::string(dataTypeName(type)));
    callForType(type, [&](auto sample) {
      using T = decltype(sample);
      std::vector<T> vector(3);
      VectorRef ref(&vector);
      EXPECT_EQ(ref.type(), type);
      EXPECT_TRUE(ref.holds<T>());
      EXPECT_TRUE(static_cast<bool>(ref));
      EXPECT_EQ(ref.get<T>(), &vector);
      bool visited = false;
      ref.visit([&](auto& reached) {
        visited = true;
        EXPECT_TRUE((std::is_same_v<decltype(reached), std::vector<T>&>));
        EXPECT_EQ(static_cast<const void*>(&reached), static_cast<const void*>(&vector));
      });
      EXPECT_TRUE(visited);
    });
  }
}

TEST(ValueHandle, ReadingAsAnotherTypeOrVisitingNothingIsAContractBreak) {
  std::vector<double> vector{1.0};
  VectorRef ref(&vector);
  auto message = contractBreak([&] { ref.get<float>(); });
  EXPECT_NE(message.find("A value handle of type double was taken as type float"), std::string::npos) << message;
  EXPECT_NE(message.find("testValueHandle.cc"), std::string::npos) << message; // the caller's place

  SharedValue empty(std::shared_ptr<const ControlSystemValue<std::int32_t>>{});
  EXPECT_EQ(empty.type(), DataType::int32);
  EXPECT_FALSE(empty);
  message = contractBreak([&] { empty.visit([](const auto&) {}); });
  EXPECT_NE(message.find("An empty value handle of type int32 was visited"), std::string::npos) << message;

  SharedValue none;
  EXPECT_EQ(none.type(), DataType::nodata);
  EXPECT_FALSE(none);
}

TEST(ValueHandle, SharedValueKeepsItsValueUntilLetGo) {
  auto value = std::make_shared<const ControlSystemValue<float>>(ControlSystemValue<float>{{1.5f, 2.5f}});
  std::weak_ptr<const ControlSystemValue<float>> watch = value;
  SharedValue handle(std::move(value));
  SharedValue copy = handle;
  handle.reset();
  EXPECT_EQ(handle.type(), DataType::float32); // the type stays with the emptied handle
  EXPECT_FALSE(handle);
  ASSERT_FALSE(watch.expired());
  EXPECT_EQ(copy.visit([](const auto& held) { return held.data.size(); }), 2u);

  // taking the pointer out of a handle that goes away moves it: no second owner is left behind
  auto taken = std::move(copy).get<float>();
  EXPECT_EQ(taken.use_count(), 1);
  taken.reset();
  EXPECT_TRUE(watch.expired());
}

TEST(ValueHandle, ADeliveryTakesTheWritersBufferOnlyWhenAllowed) {
  // fillBuffer is how every channel receives a value through a handle
  std::vector<std::int32_t> written{1, 2, 3};
  const auto* storage = written.data();
  std::vector<std::int32_t> received;
  detail::fillBuffer(received, &written, false);
  EXPECT_EQ(received, (std::vector<std::int32_t>{1, 2, 3}));
  EXPECT_NE(received.data(), storage);
  EXPECT_EQ(written.data(), storage);

  std::vector<std::int32_t> taker(3);
  detail::fillBuffer(taker, &written, true);
  EXPECT_EQ(taker.data(), storage); // moved, not copied
  EXPECT_EQ(written.size(), 3u);    // the writer keeps a buffer of its length

  // another type converts
  std::vector<double> converted;
  EXPECT_FALSE(detail::fillBuffer(converted, &taker, true));
  EXPECT_EQ(converted, (std::vector<double>{1.0, 2.0, 3.0}));
  EXPECT_EQ(taker.data(), storage);
}
