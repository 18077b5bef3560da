#include "html.h"

#include "../cli/report.h"
#include "../cli/texts.h"
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

// The rules every page has: the page, its sticky header, its summary and its controls.
constexpr std::string_view kPageStyle = R"css(
:root { font: 14px/1.4 system-ui, sans-serif; color: #1d1d1f; background: #f3f3f1; }
body { margin: 0; }
header { position: sticky; top: 0; z-index: 1; background: #fff; border-bottom: 1px solid #c8c8c8; padding: .6rem 1rem; }
h1 { font-size: 1.2rem; margin: 0 0 .2rem; overflow-wrap: anywhere; }
.summary { margin: 0 0 .5rem; color: #444; }
.interrupted { margin: 0 0 .5rem; padding: .2rem .5rem; border-left: 4px solid #c0392b; background: #fdecea; color: #8e1b10; font-weight: 600; }
.controls { display: flex; flex-wrap: wrap; gap: .5rem 1.5rem; align-items: center; }
.controls fieldset { display: flex; gap: .6rem; align-items: center; border: 0; margin: 0; padding: 0; }
.controls legend { float: left; font-weight: 600; margin-right: .2rem; padding: 0; }
.controls label { white-space: nowrap; }
main { padding: .3rem 1rem 1.5rem; }
:focus-visible { outline: 2px solid #1a5fd0; outline-offset: 2px; })css";

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

void WritePageHead(const PageHead& head, TextOut& out) {
  const std::string style = std::string(kPageStyle) + std::string(head.style);
  out << head.mark << "<html lang=\"" << Utf8(Say(Text::kCatalogueLanguage)) << "\">\n<head>\n<meta charset=\"utf-8\">\n"
      << "<meta name=\"generator\" content=\"" << head.generator << "\">\n"
      << "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; img-src 'self' file:; style-src "
      << HashSource(style) << "; script-src " << HashSource(head.script) << "; base-uri 'none'; form-action 'none'\">\n"
      << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" << Html(head.title)
      << "</title>\n<style>" << style << "</style>\n</head>\n<body " << head.body << ">\n";
}
