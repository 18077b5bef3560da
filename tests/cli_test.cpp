// End-to-end runs of the quillane-convert program on generated files.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include "support.h"

namespace {

struct Outcome {
  int exitCode;
  std::string out;
  std::string err;
};

class Cli : public ::testing::Test {
 protected:
  // Runs a shell command in the test folder, `$Q` standing for the converter.
  Outcome Shell(const std::string& command) {
    const fs::path out = scratch / "stdout", err = scratch / "stderr";
    const std::string line = "cd '" + dir.path().string() + "' && export Q='" + QUILLANE_CONVERT + "' && " +
                             command + " >'" + out.string() + "' 2>'" + err.string() + "'";
    const int status = std::system(line.c_str());
    const Bytes outBytes = ReadFileBytes(out), errBytes = ReadFileBytes(err);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::string(outBytes.begin(), outBytes.end()),
            std::string(errBytes.begin(), errBytes.end())};
  }

  Outcome Run(const std::string& args) { return Shell("\"$Q\" " + args); }

  Bytes PutCarrier(const fs::path& name, CarrierForm form, std::int32_t width, std::int32_t height) {
    fs::create_directories((dir / name).parent_path());
    const Bytes bmp = MakeBitmap(width, height, width ^ height);
    WriteFileBytes(dir / name, MakeCarrier(bmp, form));
    return ExpectedOutput(bmp);
  }

  std::string Notice(const std::string& path, Status status) {
    return "ファイル：" + path + "\n" + MessageText(status) + "\n";
  }

  TempDir dir, scratch;
};

TEST_F(Cli, ConvertsEveryFileInOrderAndReportsTheBadOnes) {
  const Bytes a = PutCarrier("a.gif", CarrierForm::kImage, 31, 17);
  const Bytes c = PutCarrier("c.GIF", CarrierForm::kComment, 100, 3);
  WriteFileBytes(dir / "b.png", Bytes(10, 1));
  WriteFileBytes(dir / "d.gif", Bytes(100, 0));
  const Bytes aSource = ReadFileBytes(dir / "a.gif");

  const Outcome run = Run("a.gif b.png c.GIF d.gif");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, Notice("b.png", Status::kBadExtension) + Notice("d.gif", Status::kUnsupported));
  EXPECT_EQ(ReadFileBytes(dir / "a.gif.bmp"), a);
  EXPECT_EQ(ReadFileBytes(dir / "c.GIF.bmp"), c);
  EXPECT_EQ(ReadFileBytes(dir / "a.gif"), aSource);
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"a.gif", "a.gif.bmp", "b.png", "c.GIF",
                                                  "c.GIF.bmp", "d.gif"}));

  const Outcome again = Run("a.gif");
  EXPECT_EQ(again.exitCode, 0);
  EXPECT_EQ(again.err, "");
}

TEST_F(Cli, DirectoriesAreWalkedOnlyWhenAsked) {
  const Bytes top = PutCarrier("set/top.gif", CarrierForm::kImage, 8, 8);
  const Bytes deep = PutCarrier("set/sub/deep.GIF", CarrierForm::kComment, 5, 2);
  WriteFileBytes(dir / "set/notes.txt", Bytes(4, 'x'));
  WriteFileBytes(dir / "set/sub/odd.Gif", Bytes(4, 'x'));

  const Outcome plain = Run("set");
  EXPECT_EQ(plain.exitCode, 1);
  EXPECT_EQ(plain.err, Notice("set", Status::kBadExtension));
  EXPECT_FALSE(fs::exists(dir / "set/top.gif.bmp"));

  const Outcome walked = Run("-r set");
  EXPECT_EQ(walked.exitCode, 0);
  EXPECT_EQ(walked.err, "");
  EXPECT_EQ(ReadFileBytes(dir / "set/top.gif.bmp"), top);
  EXPECT_EQ(ReadFileBytes(dir / "set/sub/deep.GIF.bmp"), deep);
  EXPECT_FALSE(fs::exists(dir / "set/sub/odd.Gif.bmp"));
  EXPECT_FALSE(fs::exists(dir / "set/notes.txt.bmp"));
}

TEST_F(Cli, ProgressShowsOnATerminalAndIsClearedAtTheEnd) {
  PutCarrier("a.gif", CarrierForm::kImage, 4, 4);
  PutCarrier("b.gif", CarrierForm::kImage, 4, 4);
  // script(1) gives the program a terminal and copies what it shows to stdout.
  const Outcome shown = Shell("script -qec '\"$Q\" a.gif b.gif' /dev/null");
  EXPECT_EQ(shown.exitCode, 0);
  EXPECT_NE(shown.out.find("[0/2] a.gif"), std::string::npos);
  EXPECT_NE(shown.out.find("[1/2] b.gif"), std::string::npos);
  EXPECT_TRUE(shown.out.ends_with("\r\x1b[K")) << shown.out;
  EXPECT_EQ(Run("a.gif b.gif").err, "");  // not a terminal: no progress
}

TEST_F(Cli, UsageHelpAndVersion) {
  for (const char* args : {"", "-x a.gif", "--bogus", "--"}) {
    const Outcome run = Run(args);
    EXPECT_EQ(run.exitCode, 2) << args;
    EXPECT_NE(run.err.find("usage: quillane-convert"), std::string::npos) << args;
  }
  const Outcome help = Run("--help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("--recursive"), std::string::npos);
  const Outcome version = Run("--version");
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "quillane-convert 1.0.0.0 (0.01beta)\n");

  PutCarrier("-dash.gif", CarrierForm::kImage, 2, 2);
  EXPECT_EQ(Run("-- -dash.gif").exitCode, 0);
  EXPECT_TRUE(fs::exists(dir / "-dash.gif.bmp"));
}

}  // namespace
