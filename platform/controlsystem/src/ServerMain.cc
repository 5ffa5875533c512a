#include "Corvane/Cs/ServerMain.h"

#include "Corvane/Cs/CommandLine.h"
#include "Corvane/Cs/PersistentSettings.h"
#include "Corvane/Cs/Server.h"

#include "SignalWatcher.h"
#include "StaticFiles.h"

#include <Corvane/Application.h>
#include <Corvane/ConfigReader.h>
#include <Corvane/ControlSystem.h>
#include <Corvane/Logger.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>

namespace Corvane::Cs {

  namespace {

    std::string programName() { return program_invocation_short_name ? program_invocation_short_name : "server"; }

    std::filesystem::path settingsFile(Application& app) {
      std::filesystem::path directory;
      if(auto* reader = app.configReaderPointer()) directory = std::filesystem::path(reader->file().fileName()).parent_path();
      return directory / (app.getName() + "_settings.json");
    }

    /// Runs at std::exit before the static application is destroyed (registered after it was built).
    void shutDownApplicationAtExit() {
      if(Application::hasInstance()) Application::getInstance().shutdown();
    }

    int fail(const std::string& message) {
      Logger::instance().flushFor(std::chrono::seconds(2));
      std::cerr << programName() << ": " << message << std::endl;
      return 1;
    }

  } // namespace

  int serverMain(int argc, char** argv) {
    CommandLineOptions commandLine;
    std::string token;
    try {
      commandLine = CommandLine::parse(std::vector<std::string>(argv + 1, argv + argc));
      if(commandLine.help) {
        std::cout << CommandLine::usage(programName());
        return 0;
      }
      token = CommandLine::resolveToken(commandLine);
    }
    catch(std::exception& e) {
      std::cerr << programName() << ": " << e.what() << "\n" << CommandLine::usage(programName());
      return 1;
    }

    if(!Application::hasInstance()) return fail("the program defines no application object");
    auto& app = Application::getInstance();
    std::atexit(shutDownApplicationAtExit);

    SignalWatcher signals([&app](int signal) {
      logger(Logger::Severity::info, "main") << "signal " << signal << " received, shutting down";
      app.requestShutdown();
    });

    std::unique_ptr<Server> server;
    std::unique_ptr<PersistentSettings> settings;
    try {
      if(commandLine.workers != 0) app.setWorkerCount(commandLine.workers);
      app.initialise();

      ServerOptions options;
      options.address = commandLine.address;
      options.port = commandLine.port;
      options.token = token;
      options.readOnly = commandLine.readOnly;
      options.unsubscribedTimeout = commandLine.unsubscribedTimeout;
      options.applicationName = app.getName();
      options.webRoot = StaticFiles::webRootFromEnvironment();
      options.plotLibraryDir = StaticFiles::plotLibraryDirFromEnvironment(options.webRoot);
      for(auto& warning : StaticFiles::missingFiles(options.webRoot, options.plotLibraryDir)) {
        logger(Logger::Severity::warning, "ControlSystemServer") << warning;
      }
      server = std::make_unique<Server>(app.getControlSystem(), options);

      settings = std::make_unique<PersistentSettings>(app.getControlSystem(), settingsFile(app));
      settings->load();
      settings->installInitialValues();

      app.run();
    }
    catch(std::exception& e) {
      server.reset();
      app.shutdown();
      return fail(std::string("start-up failed: ") + e.what());
    }

    server->start();
    settings->start();
    auto shownAddress = commandLine.address.find(':') != std::string::npos ? "[" + commandLine.address + "]"
                                                                           : commandLine.address;
    std::cout << programName() << ": listening on http://" << shownAddress << ":" << server->port() << "/"
              << (commandLine.readOnly ? " (read-only)" : "") << std::endl;
    logger(Logger::Severity::info, "main") << "serving " << app.getControlSystem().variables().size()
                                           << " process variables on " << shownAddress << ":" << server->port() << ", "
                                           << settings->restoredCount() << " settings restored from "
                                           << settings->file().string();

    app.waitForShutdownRequest();

    server->stop();
    app.shutdown();
    settings->stop();
    if(app.exitStatus() != 0) return fail("a module failed: " + app.failureMessage());
    logger(Logger::Severity::info, "main") << "shut down cleanly";
    Logger::instance().flushFor(std::chrono::seconds(2));
    return 0;
  }

} // namespace Corvane::Cs
