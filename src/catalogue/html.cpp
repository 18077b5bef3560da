#include "html.h"

#include "../cli/report.h"
#include "sha256.h"
#include "text_file.h"

namespace {

std::string Base64(const Sha256Digest& digest) {
  constexpr const char* kDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < digest.size(); i += 3) {
    const std::size_t left = digest.size() - i;
    const std::uint32_t bits = std::uint32_t{digest[i]} << 16 | (left > 1 ? digest[i + 1] << 8 : 0) | (left > 2 ? digest[i + 2] : 0);
    for (std::size_t k = 0; k < 4; ++k) out += k <= left ? kDigits[bits >> (18 - 6 * k) & 63] : '=';
  }
  return out;
}

}  // namespace

std::string Html(const NativeString& text) {
  std::string out;
  for (const char c : Utf8(Printable(text))) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string HashSource(std::string_view text) {
  Sha256 hash;
  hash.Update({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
  return "'sha256-" + Base64(hash.Finish()) + "'";
}

