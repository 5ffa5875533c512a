// The pieces of a request target ("/api/variables/S/gain?format=binary&maxRate=10") that the
// server looks at: the path, percent-decoded, and the values of query parameters.
//
// A malformed percent escape ("%", "%4", "%zz") is a RequestError(400). A "+" stays a "+" (the
// server's clients escape a space as "%20").
#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace Corvane::Cs {

  class Url {
   public:
    /// `text` with every "%XY" (two hexadecimal digits, either letter case) replaced by its byte.
    static std::string percentDecode(std::string_view text);

    /// Splits a target into its percent-decoded path and its query (the text after the first
    /// "?", not decoded; empty without one).
    static std::pair<std::string, std::string> splitTarget(const std::string& target);

    /// The percent-decoded value of the first parameter `name` of a query ("a=1&b=2"); empty
    /// when it is absent or has no value.
    static std::string queryParameter(const std::string& query, const std::string& name);
  };

} // namespace Corvane::Cs
