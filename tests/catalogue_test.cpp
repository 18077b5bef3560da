// What --catalogue proves: SHA-256 against the values FIPS 180-4's examples
// and Python's hashlib give, at every length a padding block can turn on,
// fed whole and in pieces; and no hash of a carrier that changed while its
// conversion read it.

#include <gtest/gtest.h>

#include <string>

#include "../src/catalogue/evidence.h"
#include "../src/catalogue/sha256.h"
#include "../src/cli/texts.h"
#include "memory_platform.h"
#include "support.h"

namespace {

std::string Digest(const std::vector<std::uint8_t>& bytes, std::size_t piece) {
  Sha256 hash;
  for (std::size_t at = 0; at < bytes.size(); at += piece)
    hash.Update(std::span(bytes).subspan(at, std::min(piece, bytes.size() - at)));
  return HexOf(hash.Finish());
}

TEST(Sha256, GivesTheStandardsDigests) {
  const auto text = [](std::string_view s) { return std::vector<std::uint8_t>(s.begin(), s.end()); };
  // Bytes (7i + 3) mod 256, whose digests hashlib gave.
  const auto drawn = [](std::size_t n) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < n; ++i) bytes.push_back(static_cast<std::uint8_t>(i * 7 + 3));
    return bytes;
  };
  const struct {
    std::vector<std::uint8_t> bytes;
    const char* digest;
  } cases[] = {
      // FIPS 180-4's examples (NIST's SHA256.pdf and SHA2_Additional.pdf).
      {text(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {text("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {text("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::vector<std::uint8_t>(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
      // Around the end of a block, where the length moves to a block of its own.
      {drawn(55), "e7313d333c272e639f790978283f9eb392e843d0f29b7016828bb1daa4aac70b"},
      {drawn(56), "4324d65f3c103567f5589c710bc08f8523f929a9272e3af36fc968e52abc6c27"},
      {drawn(64), "39e3d7b6b5d075d37d053ad89b24b41bef4f3c29760c84447cab3f3be1882241"},
      {drawn(65), "aacca6ff74fdbb296d165a45cecfa04e5127bc008770fbbdd48006f2d2fae95e"},
  };
  for (const auto& c : cases) {
    for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{64}, std::size_t{100000}}) {
      if (piece == 1 && c.bytes.size() > 1000) continue;
      EXPECT_EQ(Digest(c.bytes, piece), c.digest) << c.bytes.size() << " bytes in pieces of " << piece;
    }
  }
}

// A carrier that grows after its first read, as when another program
// appends to it while it is converted.
class GrowingCarrier final : public MemoryPlatform {
 public:
  Result<std::size_t> ReadAt(FileHandle file, std::uint64_t offset, void* buffer, std::size_t size) override {
    const Result<std::size_t> read = MemoryPlatform::ReadAt(file, offset, buffer, size);
    if (!grown_) files[NATIVE_TEXT("x.gif")].push_back(0x3B);
    grown_ = true;
    return read;
  }

 private:
  bool grown_ = false;
};

// A carrier changed after its conversion opened it is not the one
// converted: the catalogue claims no hash of it, while the payload's hash
// is of the bytes the output was made of.
TEST(Witness, ClaimsNoHashOfACarrierThatChanged) {
  const Bytes payload = MakeBitmap(5, 3, 1);
  GrowingCarrier os;
  os.files[NATIVE_TEXT("x.gif")] = MakeCarrier(payload, CarrierForm::kImage);
  Workspace workspace;
  ASSERT_TRUE(workspace.Ready());
  Witness witness(os, workspace.reading());
  const Conversion conversion =
      ConvertCarrier(os, {NATIVE_TEXT("x.gif"), NATIVE_TEXT("x.gif")}, workspace, &witness);
  EXPECT_FALSE(conversion.outcome.error);
  const Evidence evidence = witness.Conclude(conversion.output);
  EXPECT_FALSE(evidence.carrier);
  ASSERT_TRUE(evidence.payload);
  Sha256 hash;
  hash.Update(payload);
  EXPECT_EQ(*evidence.payload, hash.Finish());
}

}  // namespace
