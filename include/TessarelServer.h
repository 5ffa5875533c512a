// The server's own diagnostics, the group "Server" of the application: a data-loss counter that
// counts, per macro-pulse, the data transfers that lost data, and an invalidity tracer that
// prints a trace of invalid data to standard output when asked. The application knows it as
// Tessarel::Server.
#pragma once

#include <Corvane/DataLossCounter.h>
#include <Corvane/InvalidityTracer.h>
#include <Corvane/ModuleGroup.h>

#include <cstdint>

class TessarelServer : public Corvane::ModuleGroup {
 public:
  using Corvane::ModuleGroup::ModuleGroup;
  ~TessarelServer() override;

  Corvane::DataLossCounter<std::int64_t> dataLossCounter{
      this, "DataLossCounter", "Statistics on lost data within this llrf server", "/Server/triggerNumber"};
  Corvane::InvalidityTracer invalidityTracer{
      this, "InvalidityTracer", "Debug tool to trace invalid data in the server."};
};
