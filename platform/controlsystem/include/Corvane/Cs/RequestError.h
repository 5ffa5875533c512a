// A request of a control-system client that is refused: the HTTP status to answer with and a
// message that says what was wrong. Nothing has been changed when it is thrown.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace Corvane::Cs {

  class RequestError : public std::runtime_error {
   public:
    RequestError(int status, const std::string& message) : std::runtime_error(message), _status(status) {}
    int status() const { return _status; }

    /// Longest piece of a client's input that a message quotes (a number, a path, a target).
    static constexpr std::size_t maxQuotedInputBytes = 80;
    /// Longest message an error answer carries.
    static constexpr std::size_t maxMessageBytes = 1024;

    /// `text` itself when it has at most `maxBytes` bytes, else its beginning (cut between UTF-8
    /// sequences) followed by "... (N bytes)": a refusal never sends a client's input back whole.
    static std::string excerpt(std::string_view text, std::size_t maxBytes = maxQuotedInputBytes) {
      if(text.size() <= maxBytes) return std::string(text);
      std::size_t cut = maxBytes;
      while(cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
      return std::string(text.substr(0, cut)) + "... (" + std::to_string(text.size()) + " bytes)";
    }

   private:
    int _status;
  };

} // namespace Corvane::Cs
