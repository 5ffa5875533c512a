#include "Corvane/LogCapture.h"

namespace Corvane {

  LogCapture::LogCapture(std::string source) : _source(std::move(source)) {
    // messages still queued from before belong to whoever ran then, not to this capture
    Logger::instance().flush();
    Logger::instance().setSink([this](const std::string&, const Logger::Message& message) {
      std::lock_guard lock(_mutex);
      if(_source.empty() || message.source == _source) _messages.push_back(message);
    });
  }

  LogCapture::~LogCapture() {
    Logger::instance().flush();
    Logger::instance().setSink({});
  }

  std::vector<Logger::Message> LogCapture::messages() {
    Logger::instance().flush();
    std::lock_guard lock(_mutex);
    return _messages;
  }

  std::vector<std::string> LogCapture::take() {
    Logger::instance().flush();
    std::lock_guard lock(_mutex);
    std::vector<std::string> texts;
    for(auto& message : _messages) texts.push_back(message.text);
    _messages.clear();
    return texts;
  }

  std::vector<std::string> LogCapture::textsFrom(const std::string& source) {
    std::vector<std::string> texts;
    for(auto& message : messages())
      if(message.source == source) texts.push_back(message.text);
    return texts;
  }

  std::vector<std::string> LogCapture::warningsContaining(const std::string& part) {
    std::vector<std::string> texts;
    for(auto& message : messages())
      if(message.severity == Logger::Severity::warning && message.text.find(part) != std::string::npos)
        texts.push_back(message.text);
    return texts;
  }

} // namespace Corvane
