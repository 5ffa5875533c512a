// Who gets a connection of the server: the shared connections, the reserve for loopback and
// token holders, the share of one address, and probation for clients that must show the token.
#include <Corvane/Cs/ConnectionAdmission.h>

#include <gtest/gtest.h>

#include <vector>

using namespace Corvane::Cs;
using Verdict = ConnectionAdmission::Verdict;

namespace {
  // 6 connections, 2 of them reserved, 3 per address
  ConnectionAdmission::Limits smallLimits(bool tokenRequired) {
    return ConnectionAdmission::Limits{6, 2, 3, tokenRequired};
  }

  struct Held {
    ConnectionAdmission& admission;
    std::vector<ConnectionAdmission::Slot> slots;

    Verdict connect(const std::string& address, bool loopback = false) {
      auto decision = admission.admit(address, loopback);
      if(decision.slot.held()) slots.push_back(std::move(decision.slot));
      return decision.verdict;
    }
  };
} // namespace

TEST(ConnectionAdmission, OneAddressGetsItsShareAndLoopbackTheReserve) {
  ConnectionAdmission admission(smallLimits(false));
  Held held{admission, {}};
  for(int i = 0; i < 3; ++i) EXPECT_EQ(held.connect("10.0.0.1"), Verdict::admitted);
  EXPECT_EQ(held.connect("10.0.0.1"), Verdict::addressFull);
  EXPECT_EQ(held.connect("10.0.0.2"), Verdict::admitted);
  // the shared four are taken: the reserve is for loopback only (no token configured)
  EXPECT_EQ(held.connect("10.0.0.3"), Verdict::serverFull);
  EXPECT_EQ(held.connect("127.0.0.1", true), Verdict::admitted);
  EXPECT_EQ(held.connect("127.0.0.1", true), Verdict::admitted);
  EXPECT_EQ(held.connect("127.0.0.1", true), Verdict::serverFull);
  EXPECT_EQ(admission.served(), 6u);
  EXPECT_EQ(admission.fromAddress("10.0.0.1"), 3u);
  EXPECT_EQ(admission.fromAddress("10.0.0.3"), 0u);

  // a connection released is free again for its address
  held.slots.erase(held.slots.begin());
  EXPECT_EQ(admission.fromAddress("10.0.0.1"), 2u);
  EXPECT_EQ(admission.served(), 5u);
  EXPECT_EQ(held.connect("10.0.0.3"), Verdict::serverFull) << "5 served: the shared connections are still taken";
  held.slots.clear();
  EXPECT_EQ(admission.served(), 0u);
  EXPECT_EQ(admission.fromAddress("10.0.0.1"), 0u);
}

TEST(ConnectionAdmission, TokenHoldersTakeTheReserveAfterProbation) {
  ConnectionAdmission admission(smallLimits(true));
  Held held{admission, {}};
  for(int i = 0; i < 3; ++i) EXPECT_EQ(held.connect("10.0.0.1"), Verdict::admitted);
  // beyond the address's share: on probation, not served yet, refused for its address unless it shows the token
  auto decision = admission.admit("10.0.0.1", false);
  EXPECT_EQ(decision.verdict, Verdict::onProbation);
  EXPECT_EQ(decision.unlessToken, Verdict::addressFull);
  held.slots.push_back(std::move(decision.slot));
  EXPECT_EQ(admission.onProbation(), 1u);
  EXPECT_EQ(admission.served(), 3u);
  EXPECT_TRUE(held.slots.back().onProbation());
  EXPECT_TRUE(held.slots.back().confirm());
  EXPECT_FALSE(held.slots.back().onProbation());
  EXPECT_EQ(admission.served(), 4u);
  EXPECT_EQ(admission.onProbation(), 0u);

  // probation holds at most the reserve's size at once
  EXPECT_EQ(admission.admit("10.0.0.2", false).unlessToken, Verdict::serverFull);
  EXPECT_EQ(admission.onProbation(), 0u) << "a decision not taken up releases its place";
  EXPECT_EQ(held.connect("10.0.0.2"), Verdict::onProbation);
  EXPECT_EQ(held.connect("10.0.0.3"), Verdict::onProbation);
  EXPECT_EQ(held.connect("10.0.0.4"), Verdict::serverFull);
  // loopback is served while there is room, whoever waits on probation
  EXPECT_EQ(held.connect("127.0.0.1", true), Verdict::admitted);
  EXPECT_EQ(held.connect("127.0.0.1", true), Verdict::admitted);
  EXPECT_EQ(admission.served(), 6u);
  // no connection left for a client on probation, even with the token
  EXPECT_FALSE(held.slots[4].confirm());
  EXPECT_TRUE(held.slots[4].onProbation());
  held.slots.clear();
  EXPECT_EQ(admission.served(), 0u);
  EXPECT_EQ(admission.onProbation(), 0u);
}

TEST(ConnectionAdmission, SlotsMoveWithTheirConnection) {
  ConnectionAdmission admission(smallLimits(false));
  auto decision = admission.admit("10.0.0.1", false);
  ConnectionAdmission::Slot moved = std::move(decision.slot);
  EXPECT_FALSE(decision.slot.held());
  EXPECT_EQ(admission.served(), 1u);
  moved.release();
  moved.release();
  EXPECT_EQ(admission.served(), 0u);
  EXPECT_EQ(admission.fromAddress("10.0.0.1"), 0u);
}
