// Device backend "zorbel": the variables of another control-system server of this kind, reached
// over its HTTP API, seen as registers, so that "Configuration/extraDevices" can name such a
// server in the device map:
//
//   Timing (zorbel:192.168.1.20:8680?map=timing.map&tokenFile=timing.token&timeout=2000)
//
// - Registers are remote variables: the register "Settings.gain" (or "/Settings/gain") is the
//   remote variable "/Settings/gain". With map=FILE the register map says which variables are
//   used and how each element becomes a 32-bit word (fixed point or IEEE754, as for any board);
//   without it, the remote variable list is fetched when the backend is created (the server
//   must then be reachable at start-up) and every numeric or Boolean variable becomes a
//   register: 8-, 16- and 32-bit integers and Booleans as fixed point, float and double as
//   IEEE754 (single precision), 64-bit integers as 32-bit fixed point (values clamp); read-only
//   where the remote variable is not writable. String variables are not offered.
// - Reading a register range reads every remote variable it touches (binary form); writing one
//   writes each touched variable whole (read, modify, write for a partial range).
// - tokenFile: the remote server's token for writes. timeout: milliseconds per request (1000).
// - A server that cannot be reached or does not answer is a Corvane::runtime_error (the
//   framework's recovery reopens); a write the remote server refuses (400/403/404) is a
//   Corvane::logic_error carrying the server's message.
#pragma once

#include "Corvane/Cs/HttpClient.h"

#include <Corvane/DeviceBackend.h>

#include <map>
#include <mutex>
#include <string>

namespace Corvane::Cs {

  class RemoteServerBackend : public DeviceBackend {
   public:
    RemoteServerBackend(std::shared_ptr<const RegisterMap> registerMap, std::string host, std::uint16_t port,
        std::string token, std::chrono::milliseconds timeout);

    /// Creator for the factory (type "zorbel"); parameters map, tokenFile, timeout.
    static std::shared_ptr<DeviceBackend> createInstance(
        const std::string& address, const std::map<std::string, std::string>& parameters);

    /// The register map text for a remote variable list (GET /api/variables body).
    static std::string registerMapFor(const std::string& variableList);

    void open() override;
    void close() override;
    bool isOpen() const override;
    void read(std::uint8_t bar, std::uint64_t address, std::int32_t* data, std::size_t nBytes) override;
    void write(std::uint8_t bar, std::uint64_t address, const std::int32_t* data, std::size_t nBytes) override;
    std::string readDeviceInfo() override;

   private:
    /// The register's current value as raw words. Caller holds the mutex.
    std::vector<std::int32_t> fetch(const RegisterInfo& info);
    void store(const RegisterInfo& info, const std::vector<std::int32_t>& words);
    std::vector<const RegisterInfo*> touched(std::uint8_t bar, std::uint64_t address, std::size_t nBytes) const;

    mutable std::mutex _mutex;
    HttpClient _client;
    std::string _token;
    bool _open{false};
  };

} // namespace Corvane::Cs
