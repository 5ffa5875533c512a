// A small application served by the real control-system server program, for the end-to-end
// and operator-page tests: operator settings that the application reacts to (one corrected by
// a validator and written back), read-only results and a status, a 16384-float trace written at
// a settable rate, a trigger, a large table, a configuration value with write-back, and hooks
// that make construction, start-up or a module fail on request (environment variables).
#include <Corvane/Corvane.h>
#include <Corvane/StatusOutput.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <numeric>

using namespace Corvane;

namespace {

  bool requested(const char* name) {
    const char* value = std::getenv(name);
    return value && std::string(value) == "1";
  }

  /// Reacts to the operator settings; keeps the gain within [0, 100] and writes corrections back.
  struct Controller : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInputWB<double> gain{this, "/Settings/gain", "dB", "controller gain, 0..100"};
    ScalarPushInput<std::int32_t> mode{this, "/Settings/mode", "", "operating mode"};
    ScalarPushInput<Boolean> enable{this, "/Settings/enable", "", "enables the controller"};
    ScalarPushInput<std::string> label{this, "/Settings/label", "", "free text"};
    ArrayPushInput<float> table{this, "/Settings/table", "", 16, "a small table"};
    ArrayPushInput<float> bigTable{this, "/Settings/bigTable", "", 4096, "a table too large to persist"};
    ScalarPushInputWB<double> offset{this, "/Settings/offset", "", "configured offset, settable"};
    ScalarPushInput<std::int32_t> crash{this, "/Settings/crash", "", "1 makes this module fail", {"_Corvane_notPersisted"}};

    ScalarOutput<double> gainApplied{this, "/Readback/gainApplied", "dB", "twice the gain plus the offset"};
    ScalarOutput<std::int32_t> modeSeen{this, "/Readback/mode", "", "mode as applied"};
    ScalarOutput<Boolean> enabled{this, "/Readback/enabled", "", "enable as applied"};
    ScalarOutput<std::string> labelSeen{this, "/Readback/label", "", "label as applied"};
    ScalarOutput<float> tableSum{this, "/Readback/tableSum", "", "sum of the small table"};
    ScalarOutput<std::uint64_t> updates{this, "/Readback/updates", "", "settings taken"};
    StatusOutput gainStatus{this, "/Readback/gainStatus", "FAULT while the gain is held at its upper limit"};

    void mainLoop() override {
      auto group = readAnyGroup();
      while(true) {
        if(crash == 1) throw std::runtime_error("crash requested through /Settings/crash");
        if(gain > 100. || gain < 0.) {
          gain = std::clamp(gain.value(), 0., 100.);
          gain.write();
        }
        gainApplied = 2 * gain + offset;
        modeSeen = mode;
        enabled = enable;
        labelSeen = label;
        tableSum = std::accumulate(table.begin(), table.end(), 0.f);
        updates = updates + 1;
        gainStatus = gain >= 100. ? StatusOutput::FAULT : StatusOutput::OK;
        writeAll(false);
        group.readAny();
      }
    }
  };

  /// Writes a 16384-float trace at "/Settings/traceRate" Hz (0 or absent: 20 Hz) and reports the
  /// longest time a write took, so a test can see that clients never slow the application.
  struct Generator : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPollInput<double> rate{this, "/Settings/traceRate", "Hz", "trace rate"};
    ArrayOutput<float> trace{this, "/Signal/trace", "V", 16384, "a moving sine"};
    ScalarOutput<std::uint64_t> counter{this, "/Signal/counter", "", "traces written"};
    ScalarOutput<double> maxWriteMicros{this, "/Signal/maxWriteMicros", "us", "longest trace write so far"};
    ScalarOutput<double> maxLateMillis{this, "/Signal/maxLateMillis", "ms", "largest lateness of a period"};

    void mainLoop() override {
      // one period of 4096 samples ahead of the trace, so that moving it is a copy
      std::vector<float> wave(trace.size() + 4096);
      for(std::size_t i = 0; i < wave.size(); ++i) wave[i] = float(std::sin(2 * M_PI * double(i) / 4096.));
      std::size_t phase = 0;
      double longest = 0;
      auto next = steadyNow();
      while(true) {
        readAllLatest();
        double hz = rate > 0 ? std::min(rate.value(), 2000.) : 20.;
        auto period = std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(1. / hz));
        std::copy(wave.begin() + long(phase), wave.begin() + long(phase + trace.size()), trace.begin());
        phase = (phase + 64) % 4096;
        auto before = std::chrono::steady_clock::now();
        trace.write();
        counter = counter + 1;
        counter.write();
        double took = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - before).count();
        longest = std::max(longest, took);
        maxWriteMicros.setAndWrite(longest);
        next += period;
        auto now = steadyNow();
        if(now > next) {
          maxLateMillis.setAndWrite(std::max(maxLateMillis.value(),
              std::chrono::duration<double, std::milli>(now - next).count()));
          next = now;
        }
        sleepFor(next - now);
      }
    }
  };

  /// Counts the triggers it receives.
  struct TriggerCounter : ApplicationModule {
    using ApplicationModule::ApplicationModule;
    ScalarPushInput<std::uint64_t> trigger{this, "/Server/triggerNumber", "", "macro-pulse trigger"};
    ScalarOutput<std::uint64_t> seen{this, "/Readback/triggersSeen", "", "triggers received"};
    void mainLoop() override {
      while(true) {
        seen.setAndWrite(seen + 1);
        trigger.read();
      }
    }
  };

  struct TestServerApplication : Application {
    TestServerApplication() : Application("cstest") {
      if(requested("CS_TEST_FAIL_CONSTRUCTION")) throw logic_error("construction failure requested by CS_TEST_FAIL_CONSTRUCTION");
    }

    void initialise() override {
      if(requested("CS_TEST_FAIL_INITIALISE")) throw logic_error("start-up failure requested by CS_TEST_FAIL_INITIALISE");
      Application::initialise();
    }

    ConfigReader config{this, ".", "cstest_base_config.xml"};
    Controller controller{this, "Controller", "reacts to settings"};
    Generator generator{this, "Generator", "writes the trace"};
    TriggerCounter triggers{this, "Triggers", "counts triggers"};
  };

  TestServerApplication application;

} // namespace
