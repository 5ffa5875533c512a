// The lock between the server's table writers and one board's firmware: while any writer holds it, the
// board's lock register "state" is false and the firmware must not swap or take over its control tables.
// Writers hold the lock together (it excludes the firmware, not the writers from each other); each takes it
// through a ClientInterface that it owns.
//
// Wiring: a writer's ClientInterface places "inhibit" (tagged clientTag) and "acknowledged" in a group below
// the mutex's path; the mutex, built after its writers, finds every such group in the variable model and
// declares the opposite ends at the same paths. Each change of "state" is confirmed against the firmware's
// read-back "actualState" before the writer that caused it is acknowledged. A read-back marked faulty
// (the board is opening or recovering) is no answer of the firmware and does not count towards the time-out;
// the device's recovery writes the request again. The writers wait for such a board without limit (only
// shutdown ends the wait), and "confirmationStatus" shows it meanwhile: WARNING with a message naming the
// board's read-back register and device, back to its previous state once the board answers again. The
// warning logged when the firmware is slow to confirm ends with a line naming the lock register and device.
#pragma once

#include <Corvane/AggregatableMessage.h>
#include <Corvane/ApplicationModule.h>
#include <Corvane/ModuleGroup.h>
#include <Corvane/ScalarAccessor.h>
#include <Corvane/StatusWithMessage.h>
#include <Corvane/VariableGroup.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

class MultiClientFirmwareMutex : public Corvane::ApplicationModule {
 public:
  /// Tag carried by each client's "inhibit" and by nothing else; the mutex finds its clients by it.
  static constexpr const char* clientTag = "_CTableBufferLock_interface";
  /// Source name of the mutex's log messages.
  static constexpr const char* logSource = "MultiClientFirmwareMutex";

  class ClientInterface;

  /// A placeholder that takes part in nothing, to be replaced by move assignment.
  MultiClientFirmwareMutex() = default;
  /// Finds the client interfaces below its own path; every client must be built before it. Throws
  /// Corvane::logic_error when there is none.
  MultiClientFirmwareMutex(Corvane::ModuleGroup* owner, const std::string& name, const std::string& description,
      const std::unordered_set<std::string>& tags = {});
  MultiClientFirmwareMutex(MultiClientFirmwareMutex&&) noexcept = default;
  MultiClientFirmwareMutex& operator=(MultiClientFirmwareMutex&&) noexcept = default;
  ~MultiClientFirmwareMutex() override = default;

  void prepare() override;
  void mainLoop() override;

 private:
  /// The mutex's end of one client interface, at the client group's absolute path.
  class ClientInterfacePrivate : public Corvane::VariableGroup {
   public:
    ClientInterfacePrivate(Corvane::Module* owner, const std::string& path, const std::string& description);
    ClientInterfacePrivate(ClientInterfacePrivate&&) noexcept = default;
    ClientInterfacePrivate& operator=(ClientInterfacePrivate&&) noexcept = default;
    ~ClientInterfacePrivate() override = default;

    Corvane::ScalarPushInput<Corvane::Boolean> inhibit{this, "inhibit", "", "Inhibit swapping of control tables"};
    Corvane::ScalarOutput<Corvane::Boolean> acknowledged{
        this, "acknowledged", "", "Read-back whether inhibit is processed"};
    /// Whether this client holds the lock: a repeated request or a release without holding then cannot change
    /// holderCount.
    bool holds{false};
  };

  void handleRequest(ClientInterfacePrivate& client);
  /// Writes "state" and waits for the firmware's read-back.
  void changeFirmwareState(bool released);
  /// Polls "actualState" until it equals "state"; false when the wait gave up.
  bool waitForConfirmation();
  /// The lock register for messages: the path of "state" and what feeds "actualState" (register and device).
  std::string describeLockRegister() const;
  void reportUnconfirmed(bool released);
  void clearUnconfirmed();
  /// WARNING while the read-back is faulty (writers wait for the board), once per wait.
  void reportWaitingForBoard();
  /// Restores the status shown before the board went away.
  void clearWaitingForBoard();

  std::vector<ClientInterfacePrivate> clients;
  std::uint64_t holderCount{0};
  Corvane::ScalarOutput<Corvane::Boolean> _mutexState{
      this, "state", "", "false: mutex locked by software, true: mutex released by software"};
  Corvane::ScalarAccessor<Corvane::Boolean> actualState{this, "actualState",
      Corvane::VariableDirection{Corvane::VariableDirection::consuming, false}, "", Corvane::UpdateMode::poll,
      "Read-back of lock state from firmware"};

  // The firmware's silence is made visible: WARNING with a message, and one event message, from a change of
  // "state" that was not confirmed until the next confirmed lock.
  Corvane::StatusWithMessage _confirmationStatus{
      this, "confirmationStatus", "Whether the firmware confirmed the last change of the table lock"};
  Corvane::AggregatableMessage _errorMessage{this, "errorMessage", "", "Error message of the firmware table lock"};
  bool _unconfirmed{false};
  std::string _unconfirmedText;
  bool _waitingForBoard{false};
};

/// A table writer's handle on its board's firmware table mutex. Owned by the writer module and built in its
/// constructor, before the mutex. The writer's thread brackets each write with lock() and unlock(); both
/// block until the mutex has acknowledged.
class MultiClientFirmwareMutex::ClientInterface : public Corvane::VariableGroup {
 public:
  /// A placeholder that takes part in nothing.
  ClientInterface() = default;
  /// `mutexName` is the mutex's name as seen from `owner` (absolute, or relative to the owner).
  ClientInterface(Corvane::VariableGroup* owner, const std::string& mutexName);
  ClientInterface(ClientInterface&&) noexcept = default;
  ClientInterface& operator=(ClientInterface&&) noexcept = default;
  ~ClientInterface() override = default;

  /// Name of the interface group: one component per owner module, below the mutex's path.
  static std::string generateUniqueName(Corvane::VariableGroup* owner, const std::string& mutexName);

  void prepare() override;

  /// Takes the lock. Calling it while holding the lock stops the process.
  void lock();
  /// Releases the lock. Calling it without holding the lock stops the process.
  void unlock();

 private:
  /// Sends one request and waits for its acknowledgement. When the wait for a lock ends with an exception,
  /// the request is withdrawn so that the board is not left locked.
  void request(bool inhibit);
  /// Reads the acknowledgements of requests whose wait was interrupted by an exception.
  void drainAcknowledgements();

  Corvane::ScalarOutput<Corvane::Boolean> _inhibit{
      this, "inhibit", "", "Inhibit swapping of control tables", {MultiClientFirmwareMutex::clientTag}};
  Corvane::ScalarPushInput<Corvane::Boolean> _acknowledged{
      this, "acknowledged", "", "Read-back whether inhibit is processed"};
  /// Requests sent whose acknowledgement has not been read.
  std::size_t _unreadAcknowledgements{0};
};
