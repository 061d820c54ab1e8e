// korvane decode and encode on real files: round trips, plain texts, and files that do not decode.
#include <gtest/gtest.h>

#include "snapshot/chunk_cipher.h"
#include "snapshot/gz_container.h"
#include "tests/cli/cli_fixture.h"

namespace korvane {
namespace {

// A path with "中文", as UTF-8 (how the terminal and the text file hold them) and as GBK.
const std::string kUtf8Text = "C:\\|24122384384\r\nC:\\\xE4\xB8\xAD\xE6\x96\x87\\|129\r\nC:\\Boot\\|0\r\n";
const std::string kGbkText = "C:\\|24122384384\r\nC:\\\xD6\xD0\xCE\xC4\\|129\r\nC:\\Boot\\|0\r\n";

std::string Stored(const std::string& text) {
  return ChunkCipher::encipher(GzContainer::pack(text), kPassPhrase, ChunkCipher::kRc4);
}

TEST_F(CliTest, EncodesUtf8AsGbkAndDecodesItBack) {
  Write("snapshot.txt", kUtf8Text);
  const Outcome encoded = Run("encode " + PathOf("snapshot.txt") + " " + PathOf("snap.c"));
  EXPECT_EQ(encoded.status, 0) << encoded.err;
  EXPECT_EQ(encoded.err, "");
  const std::string stored = Read("snap.c");
  EXPECT_EQ(GzContainer::unpack(ChunkCipher::decipher(stored, kPassPhrase, ChunkCipher::kRc4)), kGbkText);

  const Outcome decoded = Run("decode " + PathOf("snap.c"));
  EXPECT_EQ(decoded.status, 0);
  EXPECT_EQ(decoded.out, kUtf8Text);
  EXPECT_EQ(decoded.err, "");
}

TEST_F(CliTest, DecodesASettingsFile) {
  Write("CF.ini", Stored("1|0|100|2|3|C"));
  const Outcome decoded = Run("decode " + PathOf("CF.ini"));
  EXPECT_EQ(decoded.status, 0);
  EXPECT_EQ(decoded.out, "1|0|100|2|3|C");
}

TEST_F(CliTest, PrintsAPlainSnapshotTextAsItIsWithANote) {
  Write("plain.c", kGbkText);
  const Outcome decoded = Run("decode " + PathOf("plain.c"));
  EXPECT_EQ(decoded.status, 0);
  EXPECT_EQ(decoded.out, kUtf8Text);
  EXPECT_NE(decoded.err.find("plain snapshot text"), std::string::npos) << decoded.err;
}

TEST_F(CliTest, SaysWhyAFileDoesNotDecode) {
  const std::string good = Stored(kGbkText);
  Bytes badContainer = GzContainer::pack(kGbkText);
  badContainer[badContainer.size() - 2] ^= 0x55;
  struct Case {
    const char* name;
    std::string contents;
    const char* reason;
  };
  const Case cases[] = {
      {"empty", "", "is empty"},
      {"truncated", good.substr(0, good.size() - 3), "record form"},
      {"garbage", "this is no snapshot at all\n", "record form"},
      {"wrong key", ChunkCipher::encipher(GzContainer::pack(kGbkText), "other", ChunkCipher::kRc4),
       "no compressed container"},
      {"damaged container", ChunkCipher::encipher(badContainer, kPassPhrase, ChunkCipher::kRc4), "damaged"},
  };
  for (const Case& c : cases) {
    Write("file", c.contents);
    const Outcome decoded = Run("decode " + PathOf("file"));
    EXPECT_EQ(decoded.status, 1) << c.name;
    EXPECT_EQ(decoded.out, "") << c.name;
    EXPECT_NE(decoded.err.find(c.reason), std::string::npos) << c.name << ": " << decoded.err;
    EXPECT_EQ(std::count(decoded.err.begin(), decoded.err.end(), '\n'), 1) << c.name;
  }
  const Outcome missing = Run("decode " + PathOf("absent"));
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("cannot open"), std::string::npos);
}

TEST_F(CliTest, ShowsBytesThatAreNoCharacter) {
  Write("odd.c", Stored("C:\\\xFF\\|1\r\n"));
  const Outcome decoded = Run("decode " + PathOf("odd.c"));
  EXPECT_EQ(decoded.status, 0);
  EXPECT_EQ(decoded.out, "C:\\\xEF\xBF\xBD\\|1\r\n");
  EXPECT_NE(decoded.err.find("U+FFFD"), std::string::npos);
}

TEST_F(CliTest, RefusesTextThatIsNotUtf8NamingTheLine) {
  Write("latin1.txt", "C:\\|1\r\nC:\\a\\|2\r\nC:\\caf\xE9\\|3\r\n");
  const Outcome encoded = Run("encode " + PathOf("latin1.txt") + " " + PathOf("out.c"));
  EXPECT_EQ(encoded.status, 1);
  EXPECT_NE(encoded.err.find("line 3"), std::string::npos) << encoded.err;
  EXPECT_FALSE(fs::exists(PathOf("out.c")));
}

TEST_F(CliTest, EncodesEditorTextWithCrLfAndWithoutAByteOrderMark) {
  Write("edited.txt", "\xEF\xBB\xBF" "C:\\|5\nC:\\x\\|2\n");
  const Outcome encoded = Run("encode " + PathOf("edited.txt") + " " + PathOf("out.c"));
  EXPECT_EQ(encoded.status, 0) << encoded.err;
  EXPECT_EQ(Run("decode " + PathOf("out.c")).out, "C:\\|5\r\nC:\\x\\|2\r\n");
}

TEST_F(CliTest, ReplacesTheOutputWholeOrNotAtAll) {
  Write("snapshot.txt", kUtf8Text);
  Write("out.c", "old");
  EXPECT_EQ(Run("encode " + PathOf("snapshot.txt") + " " + PathOf("out.c")).status, 0);
  EXPECT_EQ(Run("decode " + PathOf("out.c")).out, kUtf8Text);

  // The target is a directory: the write fails, says why, and leaves no temporary file behind.
  fs::create_directory(PathOf("taken"));
  const Outcome failed = Run("encode " + PathOf("snapshot.txt") + " " + PathOf("taken"));
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.err.find("cannot replace"), std::string::npos) << failed.err;
  EXPECT_TRUE(fs::is_directory(PathOf("taken")));
  size_t files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir_)) ++files;
  EXPECT_EQ(files, 5u);  // snapshot.txt, out.c, taken, stdout and stderr: no temporary file

  const Outcome nowhere = Run("encode " + PathOf("snapshot.txt") + " " + PathOf("no/such/dir/out.c"));
  EXPECT_EQ(nowhere.status, 1);
  EXPECT_NE(nowhere.err.find("cannot create"), std::string::npos) << nowhere.err;
}

TEST_F(CliTest, RefusesAnEmptyText) {
  Write("empty.txt", "");
  EXPECT_EQ(Run("encode " + PathOf("empty.txt") + " " + PathOf("out.c")).status, 1);
  EXPECT_FALSE(fs::exists(PathOf("out.c")));
}

}  // namespace
}  // namespace korvane
