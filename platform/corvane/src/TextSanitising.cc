#include "Corvane/detail/TextSanitising.h"

#include <cstdint>

namespace Corvane::detail {

  std::string sanitiseUtf8(const std::string& text, char replacement) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while(i < text.size()) {
      auto lead = static_cast<unsigned char>(text[i]);
      // sequence length, payload bits of the lead byte and smallest code point of that length
      struct Form {
        unsigned char mask, pattern;
        std::size_t length;
        std::uint32_t minimum;
      };
      constexpr Form forms[] = {{0x80, 0x00, 1, 0}, {0xe0, 0xc0, 2, 0x80}, {0xf0, 0xe0, 3, 0x800}, {0xf8, 0xf0, 4, 0x10000}};
      std::size_t length = 0;
      std::uint32_t code = 0, minimum = 0;
      for(auto& form : forms) {
        if((lead & form.mask) != form.pattern) continue;
        length = form.length;
        code = lead & static_cast<unsigned char>(~form.mask);
        minimum = form.minimum;
        break;
      }
      bool valid = length > 0 && i + length <= text.size();
      for(std::size_t k = 1; valid && k < length; ++k) {
        auto next = static_cast<unsigned char>(text[i + k]);
        if((next & 0xc0) != 0x80) valid = false;
        code = (code << 6) | (next & 0x3f);
      }
      // overlong forms, surrogates, values beyond Unicode and the two non-characters
      if(valid && length > 1 &&
          (code < minimum || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff) || code == 0xfffe || code == 0xffff)) {
        valid = false;
      }
      if(valid) {
        out.append(text, i, length);
        i += length;
      }
      else {
        out += replacement;
        ++i;
      }
    }
    return out;
  }

} // namespace Corvane::detail
