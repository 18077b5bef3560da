// End-to-end runs of the quillane-convert program on generated files.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <sstream>
#include <thread>
#include <tuple>

#include "support.h"
#include "version.h"

namespace {

struct Ran {
  int exitCode;
  std::string out;
  std::string err;
};

class Cli : public ::testing::Test {
 protected:
  // Runs a shell command in the test folder, `$Q` standing for the converter.
  Ran Shell(const std::string& command) {
    const fs::path out = scratch / "stdout", err = scratch / "stderr";
    // $Q converts, $K packs, $M makes carriers; $AS runs a command as a user
    // whom limits and permissions bind.
    std::string line = "cd '" + dir.path().string();
    line += "' && export Q='" QUILLANE_CONVERT "' K='" QUILLANE_PACK "' M='" QUILLANE_MAKE_CARRIER "' AS='";
    if (geteuid() == 0) line += "setpriv --reuid=65534 --regid=65534 --clear-groups";
    line += "' && { " + command + "\n} >'" + out.string() + "' 2>'" + err.string() + "'";
    const int status = std::system(line.c_str());
    const Bytes outBytes = ReadFileBytes(out), errBytes = ReadFileBytes(err);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::string(outBytes.begin(), outBytes.end()),
            std::string(errBytes.begin(), errBytes.end())};
  }

  // The converter in English, whatever this machine's locale.
  Ran Run(const std::string& args) { return Shell("LC_ALL=C.UTF-8 \"$Q\" " + args); }

  // Starts `args` on its own, standard error silenced, with `env` added to
  // the environment.
  static pid_t Start(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
    std::vector<char*> argv, envp;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    for (char** e = environ; *e; ++e) envp.push_back(*e);
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, argv[0], &quiet, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&quiet);
    return pid;
  }

  static int ExitCode(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  Bytes PutCarrier(const fs::path& name, CarrierForm form, std::int32_t width, std::int32_t height) {
    fs::create_directories((dir / name).parent_path());
    const Bytes bmp = MakeBitmap(width, height, width ^ height);
    WriteFileBytes(dir / name, MakeCarrier(bmp, form));
    return ExpectedOutput(bmp);
  }

  // Every file below `root`: its bytes and modification time, by relative name.
  std::map<std::string, std::pair<Bytes, fs::file_time_type>> Snapshot(const fs::path& root) {
    std::map<std::string, std::pair<Bytes, fs::file_time_type>> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      const std::string name = entry.path().lexically_relative(root).string();
      files[name] = {entry.is_regular_file() ? ReadFileBytes(entry.path()) : Bytes{},
                     fs::last_write_time(entry.path())};
    }
    return files;
  }

  TempDir dir, scratch;
};

TEST_F(Cli, ReportsEachProblemWithItsCauseInArgumentOrderAtAnyJobs) {
  const Bytes a = PutCarrier("a.gif", CarrierForm::kImage, 31, 17);
  const Bytes c = PutCarrier("c.GIF", CarrierForm::kComment, 100, 3);
  PutCarrier("big.gif", CarrierForm::kImage, 200, 200);
  WriteFileBytes(dir / "big.gif.bmp", Bytes(3, 'E'));
  WriteFileBytes(dir / "b.png", Bytes(10, 1));
  WriteFileBytes(dir / "d.gif", Bytes(100, 0));
  fs::create_directory(dir / "folder.gif");
  const Bytes aSource = ReadFileBytes(dir / "a.gif");

  // A file size limit makes the large bitmap's writes fail; the signal it
  // would raise is ignored, so the system's reason comes back instead.
  const std::string args = "a.gif b.png c.GIF d.gif missing.gif folder.gif big.gif a.gif";
  const std::string expected =
      "quillane-convert: b.png: not a .gif or .GIF file\n"
      "quillane-convert: d.gif: not a carrier GIF\n"
      "quillane-convert: missing.gif: cannot open: No such file or directory\n"
      "quillane-convert: folder.gif: not a regular file\n"
      "quillane-convert: big.gif: cannot write big.gif.bmp: File too large\n"
      "8 files: 3 converted, 5 failed\n";
  for (const char* jobs : {"-j 1", "-j 4", ""}) {
    const Ran run = Shell(std::string("trap '' XFSZ; ulimit -f 64; LC_ALL=C.UTF-8 \"$Q\" --force ") + jobs + " -v " + args);
    EXPECT_EQ(run.exitCode, 1) << jobs;
    EXPECT_EQ(run.err, expected) << jobs;
    EXPECT_EQ(run.out, "a.gif -> a.gif.bmp\nc.GIF -> c.GIF.bmp\na.gif -> a.gif.bmp\n") << jobs;
  }
  EXPECT_EQ(ReadFileBytes(dir / "a.gif.bmp"), a);
  EXPECT_EQ(ReadFileBytes(dir / "c.GIF.bmp"), c);
  EXPECT_EQ(ReadFileBytes(dir / "big.gif.bmp"), Bytes(3, 'E'));  // the earlier output stays
  // Without --force, an output that is no picture is kept like an edit.
  EXPECT_EQ(Run("big.gif").err,
            "quillane-convert: big.gif.bmp: kept: it cannot be read (not a PNG or BMP picture); --force replaces it\n");
  EXPECT_EQ(ReadFileBytes(dir / "a.gif"), aSource);
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"a.gif", "a.gif.bmp", "b.png", "big.gif", "big.gif.bmp",
                                                  "c.GIF", "c.GIF.bmp", "d.gif", "folder.gif"}));

  EXPECT_EQ(Shell("trap '' XFSZ; ulimit -f 64; LC_ALL=C.UTF-8 \"$Q\" -f png big.gif").err,
            "quillane-convert: big.gif: cannot write big.gif.png: File too large\n");
  EXPECT_FALSE(fs::exists(dir / "big.gif.png"));

  // Only errors with -q, and a single file gets no summary.
  EXPECT_EQ(Run("-q a.gif d.gif").err, "quillane-convert: d.gif: not a carrier GIF\n");
  EXPECT_EQ(Run("a.gif").err, "");
  EXPECT_EQ(Run("a.gif").exitCode, 0);

  // No space left: on a small file system of its own where one can be made.
  fs::create_directory(dir / "full");
  if (mount("tmpfs", (dir / "full").c_str(), "tmpfs", 0, "size=64k") == 0) {
    const Ran full = Run("-o full big.gif");
    umount((dir / "full").c_str());
    EXPECT_EQ(full.err, "quillane-convert: big.gif: cannot write full/big.gif.bmp: No space left on device\n");
  }
  // No permission, which root is never refused.
  if (geteuid() != 0) {
    fs::create_directory(dir / "locked");
    fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(Run("-o locked a.gif").err,
              "quillane-convert: a.gif: cannot create locked/a.gif.temp: Permission denied\n");
  }
}

TEST_F(Cli, OutputFolderRecreatesAReadOnlyTree) {
  const Bytes top = PutCarrier("set/top.gif", CarrierForm::kImage, 8, 8);
  const Bytes deep = PutCarrier("set/sub/deep.GIF", CarrierForm::kComment, 5, 2);
  PutCarrier("other/top.gif", CarrierForm::kImage, 3, 3);
  WriteFileBytes(dir / "set/notes.txt", Bytes(4, 'x'));
  const auto before = Snapshot(dir / "set");
  for (const char* folder : {"set", "set/sub"}) fs::permissions(dir / folder, fs::perms::owner_read | fs::perms::owner_exec);

  EXPECT_EQ(Run("-o out/new set").err, "quillane-convert: set: a folder; -r converts what is inside\n");
  const Ran run = Run("-r -o out/new set other");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err,
            "quillane-convert: other/top.gif: cannot write out/new/top.gif.bmp: already written from set/top.gif\n"
            "4 files: 2 converted, 1 failed, 1 skipped\n");
  EXPECT_EQ(ReadFileBytes(dir / "out/new/top.gif.bmp"), top);
  EXPECT_EQ(ReadFileBytes(dir / "out/new/sub/deep.GIF.bmp"), deep);
  std::vector<std::string> made;
  for (const auto& entry : fs::recursive_directory_iterator(dir / "out"))
    made.push_back(entry.path().lexically_relative(dir / "out").string());
  std::sort(made.begin(), made.end());
  EXPECT_EQ(made, (std::vector<std::string>{"new", "new/sub", "new/sub/deep.GIF.bmp", "new/top.gif.bmp"}));
  EXPECT_EQ(Snapshot(dir / "set"), before);

  WriteFileBytes(dir / "blocker", Bytes(1, 0));
  EXPECT_EQ(Run("-o blocker/x set/top.gif").err,
            "quillane-convert: set/top.gif: cannot create folder blocker/x: Not a directory\n");
  for (const char* folder : {"set", "set/sub"}) fs::permissions(dir / folder, fs::perms::owner_all);
}

TEST_F(Cli, DryRunChecksEverythingAndChangesNothing) {
  PutCarrier("set/a.gif", CarrierForm::kImage, 8, 5);
  PutCarrier("set/b.GIF", CarrierForm::kComment, 2, 1);
  WriteFileBytes(dir / "set/c.gif", MakeCarrier(MakeStandardBitmap({.width = 5, .height = 3, .packed = true}, 1),
                                                CarrierForm::kImage));
  WriteFileBytes(dir / "set/d.gif", MakeCarrier(MakeStandardBitmap({.width = 6, .height = 2, .depth = 8,
                                                                     .compression = bmp::kRle8}, 1),
                                                CarrierForm::kImage));
  Bytes palette = MakeStandardBitmap({.width = 8, .height = 2, .depth = 8, .between = 200 * bmp::kPaletteEntry}, 2);
  bmp::PutU32(palette, bmp::kColorsUsed, 200);
  WriteFileBytes(dir / "set/e.gif", MakeCarrier(palette, CarrierForm::kImage));
  const struct {
    const char* name;
    std::uint16_t depth;
    std::uint32_t infoSize;
    std::uint32_t masks[4];
  } masked[] = {{"f.gif", 16, 40, {0xF800, 0x07E0, 0x001F, 0}}, {"g.gif", 32, 56, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}}};
  for (const auto& m : masked) {
    Bytes bitmap = MakeStandardBitmap({.width = 6, .height = 1, .depth = m.depth, .compression = bmp::kBitfields,
                                       .infoSize = m.infoSize, .between = m.infoSize == 40 ? 12u : 0u}, 3);
    for (std::size_t i = 0; i < (m.infoSize == 40 ? 3u : 4u); ++i) bmp::PutU32(bitmap, bmp::kMasks + 4 * i, m.masks[i]);
    WriteFileBytes(dir / "set" / m.name, MakeCarrier(bitmap, CarrierForm::kImage));
  }
  WriteFileBytes(dir / "set/a.gif.temp", Bytes(2, 1));
  WriteFileBytes(dir / "set/bad.gif", Bytes(30, 0x3B));
  const auto before = Snapshot(dir.path());

  const Ran run = Run("-n -v -r set -o out");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out,
            "set/a.gif: image data, 174 bytes, 8 x 5, 24-bit, rows of 24 bytes\n"
            "set/b.GIF: comment, 62 bytes, 2 x 1, 24-bit, rows of 8 bytes\n"
            "set/c.gif: image data, 99 bytes, 5 x 3, 24-bit, rows packed to 15 bytes, written padded to 16\n"
            "set/d.gif: image data, 70 bytes, 6 x 2, compressed (RLE8), kept as carried\n"
            "set/e.gif: image data, 870 bytes, 8 x 2, 8-bit, palette of 200 colours, rows of 8 bytes\n"
            "set/f.gif: image data, 78 bytes, 6 x 1, 16-bit 5-6-5, rows of 12 bytes\n"
            "set/g.gif: image data, 94 bytes, 6 x 1, 32-bit with alpha, rows of 24 bytes\n");
  EXPECT_EQ(run.err, "quillane-convert: set/bad.gif: not a carrier GIF\n"
                     "9 files: 7 would be converted, 1 failed, 1 skipped\n");
  EXPECT_EQ(Run("--dry-run set/a.gif").err, "");
  EXPECT_EQ(Snapshot(dir.path()), before);
}

TEST_F(Cli, SpeaksJapaneseInAJapaneseLocale) {
  WriteFileBytes(dir / "bad.gif", Bytes(30, 0x3B));
  WriteFileBytes(dir / "x.png", Bytes(3, 0));
  const std::string lines =
      "quillane-convert: bad.gif: このファイルは対応フォーマットではありません。\n"
      "quillane-convert: x.png: 拡張子が \".gif\" もしくは \".GIF\" 以外のファイルは処理できません。\n"
      "quillane-convert: missing.gif: 開けません: そのようなファイルやディレクトリはありません\n"
      "3 個のファイル: 変換 0、失敗 3\n";
  EXPECT_EQ(Shell("LANG=ja_JP.UTF-8 \"$Q\" bad.gif x.png missing.gif").err, lines);
  EXPECT_EQ(Shell("LANG=C LC_MESSAGES=ja_JP.UTF-8 LC_ALL= \"$Q\" x.png").err,
            "quillane-convert: x.png: 拡張子が \".gif\" もしくは \".GIF\" 以外のファイルは処理できません。\n");
  EXPECT_EQ(Shell("LANG=ja_JP.UTF-8 LC_ALL=C \"$Q\" x.png").err, "quillane-convert: x.png: not a .gif or .GIF file\n");
  // Refusals whose Japanese takes its values in another order.
  ASSERT_EQ(Shell("\"$M\" --width 5 --height 3 t.gif && \"$M\" --depth 8 --width 5 --height 3 p.gif && "
                  "/usr/bin/python3 -c \"from PIL import Image; i = Image.new('RGBA', (5, 3), (9, 9, 9, 255)); "
                  "i.putpixel((3, 1), (0, 0, 0, 0)); i.save('t.gif.png'); "
                  "Image.new('RGB', (5, 3), (1, 2, 3)).save('p.gif.png')\"").exitCode, 0);
  EXPECT_EQ(Shell("LANG=ja_JP.UTF-8 \"$K\" t.gif p.gif").err,
            "quillane-pack: t.gif: t.gif.png の 1 個の画素が透明ですが、ビットマップは透明を持てません。最初は 3, 1。"
            "ビットマップ (24 ビット) は不透明な色だけを持てます。これらの画素を不透明にしてください\n"
            "quillane-pack: p.gif: p.gif.png の 15 個の画素がパレットにない色です。最初は左上から 0, 0。"
            "--nearest でパレットの最も近い色に置き換えられます\n"
            "2 個の搬送ファイル: 書き戻し 0、変更なし 0、失敗 2\n");
}

TEST_F(Cli, ProgressShowsOnATerminalAndIsClearedAtTheEnd) {
  PutCarrier("a.gif", CarrierForm::kImage, 4, 4);
  PutCarrier("b.gif", CarrierForm::kImage, 4, 4);
  // script(1) gives the program a terminal and copies what it shows to stdout.
  const Ran shown = Shell("script -qec 'LC_ALL=C \"$Q\" -v -j 2 a.gif b.gif' /dev/null");
  EXPECT_EQ(shown.exitCode, 0);
  EXPECT_NE(shown.out.find("[0/2] a.gif\r\x1b[Ka.gif -> a.gif.bmp\r\n"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("[1/2] b.gif"), std::string::npos);
  EXPECT_NE(shown.out.find("\r\x1b[Kb.gif -> b.gif.bmp\r\n2 files: 2 converted, 0 failed"), std::string::npos)
      << shown.out;
  EXPECT_EQ(Shell("script -qec '\"$Q\" -q a.gif b.gif' /dev/null").out, "");
  EXPECT_EQ(Run("-q a.gif b.gif").err, "");  // not a terminal: no progress
}

TEST_F(Cli, UsageErrorsNameTheOptionOrValue) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "no FILE given"},
      {"-x a.gif", "unknown option -x"},
      {"--bogus a.gif", "unknown option --bogus"},
      {"--quiet=1 a.gif", "unknown option --quiet=1"},
      {"-j 0 a.gif", "invalid value for -j: 0"},
      {"--jobs=many a.gif", "invalid value for --jobs: many"},
      {"a.gif -o", "option -o needs a value"},
      {"-f gif a.gif", "invalid value for -f: gif"},
      {"--from pictures a.gif", "unknown option --from"},  // quillane-pack's
      {"--", "no FILE given"},
  };
  for (const auto& [args, problem] : cases) {
    const Ran run = Run(args);
    EXPECT_EQ(run.exitCode, 2) << args;
    EXPECT_EQ(run.err, "quillane-convert: " + std::string(problem) +
                           "\nusage: quillane-convert [-rnqv] [-j N] [-o DIR] [-f png|bmp] FILE...\n") << args;
  }
  EXPECT_EQ(Shell("LC_ALL=C \"$K\" -f png a.gif").err,
            "quillane-pack: unknown option -f\nusage: quillane-pack [-rnqvb] [-j N] [--nearest] [--from DIR] [-o DIR] "
            "[--backup[=CONTROL]] [-S SUFFIX] CARRIER...\n");
  const Ran help = Run("--help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("--output-dir"), std::string::npos);
  EXPECT_EQ(Run("--version").out,
            std::string("quillane-convert ") + QUILLANE_PRODUCT_VERSION_STR + " (" + QUILLANE_FILE_VERSION_STR + ")\n");

  PutCarrier("-dash.gif", CarrierForm::kImage, 2, 2);
  PutCarrier("set/in.gif", CarrierForm::kImage, 2, 2);
  EXPECT_EQ(Run("-- -dash.gif").exitCode, 0);
  EXPECT_TRUE(fs::exists(dir / "-dash.gif.bmp"));
  EXPECT_EQ(Run("-rqj2 -oout set").exitCode, 0);
  EXPECT_TRUE(fs::exists(dir / "out/in.gif.bmp"));
}

// Each way a hostile user or a starved system can treat a batch: every file
// still ends in its output or its one line, nothing is left behind, and the
// exit status tells.
TEST_F(Cli, HoldsUpUnderAbuse) {
  const std::string goods = "for i in $(seq 10 29); do \"$M\" --width 40 --height 30 --packed --seed $i g$i.gif g$i.want; done";
  const std::string allGood = "for i in $(seq 10 29); do cmp -s g$i.gif.bmp g$i.want || exit 1; done";
  const std::string oneGood = "\"$M\" --width 5 --height 3 x.gif x.want";
  // The sanitizers' own runtime needs threads and address space beyond these.
#ifdef QUILLANE_SANITIZED
  const std::string limits = "exit 0; ";
#else
  const std::string limits;
#endif
  const struct {
    const char* what;
    std::string setup, command;
    int exitCode;
    std::string err, check;
  } cases[] = {
      {"standard streams closed", goods + "; for i in $(seq 30 49); do printf junk >b$i.gif; done",
       "\"$Q\" -j 4 g*.gif b*.gif >&- 2>&-", 1, "", allGood},
      {"a pipe that closes", oneGood + "; for i in $(seq 1000 1399); do cp x.gif $i-a-name-long-enough-to-fill-the-pipe-"
                                       "long-before-the-batch-ends-and-then-some-more.gif; done",
       "(\"$Q\" -v -j 4 1*.gif; echo $? >status) | head -c1 >/dev/null", 0,
       "quillane-convert: cannot write standard output: Broken pipe\n",
       "test \"$(cat status)\" = 1 && test -z \"$(ls | grep '\\.temp$')\""},
      {"one process a user", goods + "; chmod 777 .",
       limits + "$AS bash -c 'ulimit -u 1 && exec \"$Q\" -q -j 8 g*.gif'", 0, "", limits + allGood},
      {"too little address space for the threads", goods,
       limits + "sh -c 'ulimit -v 200000 && exec \"$Q\" -q -j 64 g*.gif'", 0, "", limits + allGood},
      {"too few descriptors for the jobs",
       "mkdir t && for i in $(seq 100 299); do \"$M\" --width 3 --height 2 --seed $i t/$i.gif; done",
       "sh -c 'ulimit -n 16 && exec \"$Q\" -q -r -j 8 t'", 0, "", "test $(ls t/*.bmp | wc -l) = 200"},
      {"an unreadable folder in a tree",
       "mkdir -p tree/a tree/b tree/locked && for d in a b locked; do \"$M\" tree/$d/$d.gif; done && "
       "chmod 777 tree/a tree/b && chmod 0 tree/locked",
       "$AS \"$Q\" -r tree", 1, "quillane-convert: tree/locked: cannot read folder: Permission denied\n"
                                "3 files: 2 converted, 1 failed\n",
       "test -e tree/a/a.gif.bmp && test -e tree/b/b.gif.bmp"},
      {"files in a tree that are none",
       "mkdir t && mkfifo t/f.gif && ln -s nowhere t/d.gif && ln -s l.gif t/l.gif && "
       "/usr/bin/python3 -c \"import socket; socket.socket(socket.AF_UNIX).bind('t/s.gif')\"",
       "\"$Q\" -r t", 1, "quillane-convert: t/d.gif: cannot open: No such file or directory\n"
                         "quillane-convert: t/f.gif: not a regular file\n"
                         "quillane-convert: t/l.gif: cannot open: Too many levels of symbolic links\n"
                         "quillane-convert: t/s.gif: cannot open: No such device or address\n"
                         "4 files: 0 converted, 4 failed\n",
       "test -z \"$(ls t | grep -v '\\.gif$')\""},
      {"another file spelled as this one", oneGood + " && mkdir -p real/deeper && ln -s real/deeper sub && "
                                                     "\"$M\" --seed 2 real/x.gif",
       "\"$Q\" -o out x.gif sub/../x.gif", 1,
       "quillane-convert: sub/../x.gif: cannot write out/x.gif.bmp: already written from x.gif\n"
       "2 files: 1 converted, 1 failed\n",
       "cmp out/x.gif.bmp x.want"},
      {"this file spelled as another", oneGood + " && ln -s . same",
       "for i in $(seq 20); do \"$Q\" -q -j 2 x.gif same/x.gif || exit 1; done", 0, "", "cmp x.gif.bmp x.want"},
      {"a full disk under -v", oneGood, "(\"$Q\" -v x.gif >/dev/full)", 1,
       "quillane-convert: cannot write standard output: No space left on device\n", "cmp x.gif.bmp x.want"},
      {"a full disk under --help", "", "(\"$Q\" --help >/dev/full)", 1,
       "quillane-convert: cannot write standard output: No space left on device\n", "true"},
      {"control characters and broken UTF-8 in a name",
       "printf junk >\"$(printf 'a\\nb\\033[31m\\177\\302\\233\\377\\342\\202日.gif')\"", "\"$Q\" a*.gif", 1,
       "quillane-convert: a\\nb\\033[31m\\177\\xc2\\x9b\\xff\\xe2\\x82日.gif: not a carrier GIF\n", "true"},
      {"a folder at the staging name", oneGood + " && mkdir x.gif.temp", "\"$Q\" x.gif", 1,
       "quillane-convert: x.gif: cannot create x.gif.temp: Is a directory\n", "test ! -e x.gif.bmp"},
      {"a folder named as a file in it", "mkdir dir.gif", "\"$Q\" dir.gif/.", 1,
       "quillane-convert: dir.gif/.: not a regular file\n", "test -z \"$(ls -A dir.gif)\""},
      {"the working folder removed", oneGood, "(mkdir gone && cd gone && rmdir ../gone && \"$Q\" x.gif)", 1,
       "quillane-convert: x.gif: cannot open: No such file or directory\n", "true"},
      {"an output folder for a refused file", "printf x >x.png", "\"$Q\" -o made/dir x.png", 1,
       "quillane-convert: x.png: not a .gif or .GIF file\n", "test ! -e made"},
  };
  int n = 0;
  for (const auto& test : cases) {
    SCOPED_TRACE(test.what);
    // Each case in a folder of its own.
    const std::string folder = std::to_string(++n);
    const std::string in = "mkdir -p " + folder + " && cd " + folder + " && ";
    ASSERT_EQ(Shell(in + (test.setup.empty() ? "true" : test.setup)).exitCode, 0);
    const Ran run = Shell(in + "export LC_ALL=C.UTF-8; " + test.command);
    EXPECT_EQ(run.exitCode, test.exitCode);
    EXPECT_EQ(run.err, test.err);
    EXPECT_EQ(Shell(in + test.check).exitCode, 0);
  }
  Shell("chmod -R u+rwX .");
}

// Two processes converting one file, the first stopped at a step of taking
// its staging file while the second runs whole: once the first's staging
// name stands, the second is refused as busy, and the first is never
// displaced. The same where the file system cannot create unnamed files
// (made so here by a filter on openat), where a second process may take the
// first's new file for a stale one before it is locked, and the first then
// takes another.
TEST_F(Cli, TwoConversionsOfOneFileNeverMix) {
  const Bytes fresh = PutCarrier("large.gif", CarrierForm::kImage, 1024, 2048);
  const Bytes old(5, 'E');
  const fs::path output = dir / "large.gif.bmp";
  const std::string source = (dir / "large.gif").string();
  const struct {
    const char* step;
    bool unnamed;
    int second;  // its exit status
  } cases[] = {{"created", true, 0}, {"staged", true, 1}, {"created", false, 0}, {"staged", false, 1}};
  for (const auto& race : cases) {
    SCOPED_TRACE(std::string(race.step) + (race.unnamed ? "" : ", without unnamed files"));
    WriteFileBytes(output, old);
    std::vector<std::string> first = {QUILLANE_CONVERT, "-q", "--force", source};
    if (!race.unnamed) first.insert(first.begin(), {"/usr/bin/python3", QUILLANE_WITHOUT_UNNAMED_FILES});
    const pid_t stopped = Start(first, {std::string("QUILLANE_STOP_AT=") + race.step});
    int status = 0;
    ASSERT_EQ(waitpid(stopped, &status, WUNTRACED), stopped);
    ASSERT_TRUE(WIFSTOPPED(status));
    // Unnamed, the staging file takes its name only once it is locked.
    EXPECT_EQ(fs::exists(dir / "large.gif.temp"), race.second == 1 || !race.unnamed);
    EXPECT_EQ(ExitCode(Start({QUILLANE_CONVERT, "-q", "--force", source})), race.second);
    EXPECT_EQ(ReadFileBytes(output), race.second == 0 ? fresh : old);
    kill(stopped, SIGCONT);
    EXPECT_EQ(ExitCode(stopped), 0);
    EXPECT_EQ(ReadFileBytes(output), fresh);
    EXPECT_FALSE(fs::exists(dir / "large.gif.temp"));
  }
}

// Each picture that cannot go back: one line saying why, exit status 1, and
// the carrier as it was, to the byte and the timestamp.
TEST_F(Cli, PackRefusesWhatCannotGoBackAndTouchesNothing) {
  const std::string pil = "/usr/bin/python3 -c \"from PIL import Image; Image.new(";
  const std::string edit = "/usr/bin/python3 -c \"from PIL import Image; i = Image.open('x.gif.png'); ";
  const std::string opaque = "the bitmap (24-bit) holds opaque colours only: make those pixels opaque";
  const struct {
    const char* what;
    std::string setup, err;
  } cases[] = {
      {"no picture", "", "x.gif: no picture: neither x.gif.png nor x.gif.bmp exists; pictures are looked for beside each "
                         "carrier, and --from DIR takes them from DIR, where quillane-convert -o DIR wrote them"},
      {"no image", "printf junk >x.gif.png", "x.gif: cannot read x.gif.png: not a PNG or BMP picture"},
      {"the wrong width", "\"$M\" --width 6 --height 3 o.gif x.gif.bmp",
       "x.gif: x.gif.bmp is 6 x 3, the carrier's bitmap 5 x 3: the picture must keep the bitmap's size"},
      {"the wrong height", "\"$M\" --width 5 --height 4 o.gif x.gif.bmp",
       "x.gif: x.gif.bmp is 5 x 4, the carrier's bitmap 5 x 3: the picture must keep the bitmap's size"},
      {"the wrong height as PNG", pil + "'RGB', (5, 2)).save('x.gif.png')\"",
       "x.gif: x.gif.png is 5 x 2, the carrier's bitmap 5 x 3: the picture must keep the bitmap's size"},
      {"a colour made transparent", pil + "'RGB', (5, 3), (9, 9, 9)).save('x.gif.png', transparency=(9, 9, 9))\"",
       "x.gif: 15 pixels of x.gif.png are transparent, which the carrier's bitmap cannot hold; the first at 0, 0; " + opaque},
      {"grey and alpha", pil + "'LA', (5, 3), (9, 0)).save('x.gif.png')\"",
       "x.gif: 15 pixels of x.gif.png are transparent, which the carrier's bitmap cannot hold; the first at 0, 0; " + opaque},
      {"transparent pixels", pil + "'RGBA', (5, 3), (9, 9, 9, 0)).save('x.gif.png')\"",
       "x.gif: 15 pixels of x.gif.png are transparent, which the carrier's bitmap cannot hold; the first at 0, 0; " + opaque},
      {"colours off the palette", "\"$M\" --depth 8 --width 5 --height 3 x.gif && " + pil +
       "'RGB', (5, 3), (1, 2, 3)).save('x.gif.png')\"",
       "x.gif: 15 pixels of x.gif.png are not in the carrier's palette; the first at 0, 0 from the top left; "
       "--nearest stores each as the palette's nearest colour"},
      {"an index past the palette, which shows black",
       "\"$M\" --depth 8 --colours 5 --width 5 --height 3 x.gif && \"$Q\" -q -f png x.gif && " + edit +
       "i.paste(0, (0, 0, 5, 3)); i.save('x.gif.png')\" && \"$K\" -q x.gif && " + edit +
       "i.putpixel((2, 1), 5); i.save('x.gif.png')\"",
       "x.gif: 1 pixels of x.gif.png are not in the carrier's palette; the first at 2, 1 from the top left; "
       "--nearest stores each as the palette's nearest colour"},
      {"a compressed bitmap", "/usr/bin/convert rose: -resize 5x3! -colors 16 -compress RLE BMP3:r.bmp && "
                              "\"$M\" --payload r.bmp x.gif && " + pil + "'RGB', (5, 3)).save('x.gif.png')\"",
       "x.gif: compressed (RLE8), the picture cannot be stored back"},
      {"no carrier", "printf junk >x.gif && " + pil + "'RGB', (5, 3)).save('x.gif.png')\"",
       "x.gif: not a carrier GIF"},
  };
  int n = 0;
  for (const auto& test : cases) {
    SCOPED_TRACE(test.what);
    const fs::path folder = dir / std::to_string(++n);
    fs::create_directory(folder);
    const std::string in = "cd " + folder.filename().string() + " && ";
    ASSERT_EQ(Shell(in + "\"$M\" --width 5 --height 3 x.gif" + (test.setup.empty() ? "" : " && " + test.setup)).exitCode, 0);
    const Bytes carrier = ReadFileBytes(folder / "x.gif");
    const auto time = fs::last_write_time(folder / "x.gif");
    const Ran run = Shell(in + "LC_ALL=C.UTF-8 \"$K\" x.gif");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "quillane-pack: " + test.err + "\n");
    EXPECT_EQ(ReadFileBytes(folder / "x.gif"), carrier);
    EXPECT_EQ(fs::last_write_time(folder / "x.gif"), time);
    EXPECT_FALSE(fs::exists(folder / "x.gif.temp"));
  }
}

// Nothing is written that was not asked for: an output that would replace
// another source is refused before anything is written, an unchanged carrier
// is not rewritten whatever -o names, a packed one keeps its permissions and
// owner, and a bitmap without pixels gets no PNG while one without a picture
// gets its BMP.
TEST_F(Cli, WritesOnlyWhatItIsAskedTo) {
  ASSERT_EQ(Shell("mkdir a b && \"$M\" --seed 1 a/x.gif && \"$M\" --seed 2 b/x.gif && \"$Q\" -q a/x.gif b/x.gif && "
                  "\"$M\" --seed 3 y.gif && \"$Q\" -q y.gif && touch -d 2001-01-01 y.gif && "
                  "\"$M\" --width 16 --height 0 empty.gif && "
                  "/usr/bin/convert rose: -colors 16 -compress RLE BMP3:r.bmp && \"$M\" --payload r.bmp rle.gif")
                .exitCode, 0);
  const Bytes b = ReadFileBytes(dir / "b/x.gif");
  const Ran onto = Shell("LC_ALL=C.UTF-8 \"$K\" -o b a/x.gif b/x.gif");
  EXPECT_EQ(onto.exitCode, 1);
  EXPECT_EQ(onto.err, "quillane-pack: a/x.gif: cannot write b/x.gif: it would replace b/x.gif, a file this run reads\n"
                      "2 carriers: 0 packed, 1 unchanged, 1 failed\n");
  EXPECT_EQ(ReadFileBytes(dir / "b/x.gif"), b);

  const auto time = fs::last_write_time(dir / "y.gif");
  EXPECT_EQ(Shell("LC_ALL=C.UTF-8 \"$K\" -v -o . y.gif").out, "y.gif: unchanged (y.gif.bmp)\n");
  EXPECT_EQ(fs::last_write_time(dir / "y.gif"), time);
  const bool root = geteuid() == 0;
  ASSERT_EQ(Shell(std::string("chmod 640 y.gif && ") + (root ? "chown 65534:65534 y.gif && " : "") +
                  "/usr/bin/python3 -c \"from PIL import Image; i = Image.open('y.gif.bmp'); i.putpixel((0, 0), (1, 2, 3)); "
                  "i.save('y.gif.bmp')\" && \"$K\" -q y.gif")
                .exitCode, 0);
  EXPECT_NE(fs::last_write_time(dir / "y.gif"), time);
  EXPECT_EQ(Shell("stat -c '%a %u %g' y.gif").out, root ? "640 65534 65534\n" : "640 " + std::to_string(geteuid()) + " " +
                                                           std::to_string(getegid()) + "\n");

  const Ran png = Shell("LC_ALL=C.UTF-8 \"$Q\" -v -f png empty.gif rle.gif");
  EXPECT_EQ(png.exitCode, 1);
  EXPECT_EQ(png.err, "quillane-convert: empty.gif: no pixels (16 x 0), cannot be written as PNG\n"
                     "2 files: 1 converted, 1 failed\n");
  EXPECT_EQ(png.out, "rle.gif -> rle.gif.bmp (compressed (RLE8), kept as BMP)\n");
  EXPECT_FALSE(fs::exists(dir / "empty.gif.png"));
  EXPECT_EQ(Shell("LC_ALL=C.UTF-8 \"$K\" -v rle.gif").out, "rle.gif: unchanged (rle.gif.bmp)\n");
  EXPECT_EQ(Shell("LC_ALL=C.UTF-8 \"$K\" rle.gif.bmp").err,
            "quillane-pack: rle.gif.bmp: not a .gif or .GIF file; the carrier of this picture is rle.gif\n");

  // A short palette an editor reordered, indices and all, shows the same
  // picture, pixels past it black as before, the first one just past it: unchanged.
  ASSERT_EQ(Shell("\"$M\" --depth 8 --colours 5 --width 5 --height 3 p.gif && \"$Q\" -q p.gif && /usr/bin/python3 -c "
                  "\"b = bytearray(open('p.gif.bmp', 'rb').read()); b[54:62] = b[58:62] + b[54:58]; "
                  "o = int.from_bytes(b[10:14], 'little'); b[o:] = bytes({0: 1, 1: 0}.get(v, v) for v in b[o:]); b[o] = 5; "
                  "open('p.gif.bmp', 'wb').write(b)\"")
                .exitCode, 0);
  EXPECT_EQ(Shell("LC_ALL=C.UTF-8 \"$K\" -v p.gif").out, "p.gif: unchanged (p.gif.bmp)\n");

  // A tree through PNG and back, as the manual shows it, gives every carrier back.
  ASSERT_EQ(Shell("mkdir -p res/sub && mv rle.gif res/sub && mv y.gif res").exitCode, 0);
  EXPECT_EQ(Shell("\"$Q\" -q -r -f png -o pictures res && \"$K\" -q -r --from pictures -o res-new res").exitCode, 0);
  EXPECT_EQ(ReadFileBytes(dir / "res-new/sub/rle.gif"), ReadFileBytes(dir / "res/sub/rle.gif"));
  EXPECT_EQ(ReadFileBytes(dir / "res-new/y.gif"), ReadFileBytes(dir / "res/y.gif"));
}

// Two pictures of one carrier: the one showing other pixels than the carrier
// is the edit and goes back, however old it is; one edit saved in both goes
// back; two different edits are refused, naming both, and neither goes back.
TEST_F(Cli, PackTakesTheEditOfTwoPictures) {
  const auto edit = [](const std::string& picture, const char* pixel) {
    return "/usr/bin/python3 -c \"from PIL import Image; i = Image.open('" + picture + "'); i.putpixel((" + pixel +
           "), (250, 10, 20)); i.save('" + picture + "')\" && touch -d 2001-01-01 " + picture;
  };
  const std::string sameAs = "/usr/bin/python3 -c \"from PIL import Image; import sys; "
                             "sys.exit(list(Image.open('check/x.gif.png').convert('RGB').getdata()) != "
                             "list(Image.open('x.gif.";
  const struct {
    const char* what;
    const char* png;  // the pixel edited in each, or none
    const char* bmp;
    int exitCode;
    std::string out, err;
    const char* shown;  // the picture the carrier then shows, or none for the carrier as it was
  } cases[] = {
      {"neither edited", nullptr, nullptr, 0, "x.gif: unchanged (x.gif.png)\n", "", nullptr},
      {"the PNG, the BMP newer", "1, 1", nullptr, 0, "x.gif <- x.gif.png\n", "", "png"},
      {"the BMP, the PNG newer", nullptr, "2, 0", 0, "x.gif <- x.gif.bmp\n", "", "bmp"},
      {"both alike", "1, 1", "1, 1", 0, "x.gif <- x.gif.png\n", "", "png"},
      {"both, differently", "1, 1", "2, 0", 1, "",
       "quillane-pack: x.gif: x.gif.png and x.gif.bmp both differ from the carrier and from each other; keep the one "
       "with the edit and move the other away\n", nullptr},
  };
  int n = 0;
  for (const auto& test : cases) {
    SCOPED_TRACE(test.what);
    const fs::path folder = dir / ("two" + std::to_string(++n));
    fs::create_directory(folder);
    const std::string in = "cd " + folder.filename().string() + " && ";
    std::string setup = in + "\"$M\" --width 5 --height 3 x.gif && \"$Q\" -q -f png x.gif && \"$Q\" -q x.gif";
    if (test.png) setup += " && " + edit("x.gif.png", test.png);
    if (test.bmp) setup += " && touch -d 2002-01-01 x.gif.png && " + edit("x.gif.bmp", test.bmp);
    ASSERT_EQ(Shell(setup).exitCode, 0);
    const Bytes carrier = ReadFileBytes(folder / "x.gif");
    const Ran run = Shell(in + "LC_ALL=C.UTF-8 \"$K\" -v x.gif");
    EXPECT_EQ(run.exitCode, test.exitCode);
    EXPECT_EQ(run.out, test.out);
    EXPECT_EQ(run.err, test.err);
    if (!test.shown) {
      EXPECT_EQ(ReadFileBytes(folder / "x.gif"), carrier);
    } else {
      EXPECT_EQ(Shell(in + "\"$Q\" -q -f png -o check x.gif && " + sameAs + test.shown + "').convert('RGB').getdata()))\"")
                    .exitCode, 0);
    }
  }
}

// Backups as GNU cp makes them, under every CONTROL value and both
// environment variables, the reference being cp --backup itself on the same
// files. -n -v names the backup and writes nothing; each pack is then
// stopped where the backup is kept and the carrier not yet replaced (the
// QUILLANE_STOP_AT seam), and killed or let go: the carrier is the old one or
// the new one, and the backups are what cp leaves, to the byte, mode and
// time. The same where the file system has no hard links (made so by a
// filter on link and linkat), where the backup is a copy.
TEST_F(Cli, PackKeepsBackupsAsCpDoes) {
  unsetenv("VERSION_CONTROL");
  unsetenv("SIMPLE_BACKUP_SUFFIX");
  ASSERT_EQ(Shell("mkdir seed && cd seed && \"$M\" --width 5 --height 3 x.gif && \"$Q\" -q -f png x.gif && "
                  "/usr/bin/python3 -c \"from PIL import Image; i = Image.open('x.gif.png'); "
                  "i.putpixel((1, 1), (250, 10, 20)); i.save('x.gif.png')\" && chmod 640 x.gif && touch -d 2001-02-03 x.gif")
                .exitCode, 0);
  const Bytes old = ReadFileBytes(dir / "seed/x.gif");
  // Every file of a folder but the carrier, its picture and its staging file.
  using Files = std::map<std::string, std::tuple<Bytes, fs::file_time_type, fs::perms>>;
  const auto others = [](const fs::path& folder) {
    Files files;
    for (const auto& entry : fs::directory_iterator(folder)) {
      const std::string name = entry.path().filename().string();
      if (name != "x.gif" && name != "x.gif.png" && name != "x.gif.temp")
        files[name] = {ReadFileBytes(entry.path()), fs::last_write_time(entry.path()), entry.status().permissions()};
    }
    return files;
  };
  const struct {
    std::string options, env;
    const char* standing;  // earlier backups and other files
  } cases[] = {
      {"-b", "", ""},
      {"-b", "", "x.gif.~2~"},
      {"--backup", "VERSION_CONTROL=numbered", ""},
      {"--backup=", "VERSION_CONTROL=simple", "x.gif~ x.gif.~1~"},
      {"--backup=none", "", "x.gif~"},
      {"--backup=off", "VERSION_CONTROL=t", ""},
      {"--backup=numbered", "", "x.gif.~9~ x.gif.~10~ x.gif.~09~ x.gif.~0~ x.gif.~10~x x.gif.~~ y.gif.~12~"},
      {"--backup=t", "", "x.gif.~99999999999999999999~"},
      {"--backup=nu", "", ""},
      {"--backup=existing", "", "x.gif~"},
      {"--backup=nil", "", "x.gif.~1~ x.gif.~x~"},
      {"--backup=simple", "", "x.gif~ x.gif.~3~"},
      {"--backup=never", "", ""},
      {"-S .bak", "", ""},
      {"--suffix=.orig --backup=simple", "", "x.gif.orig"},
      {"-b", "SIMPLE_BACKUP_SUFFIX=.old", ""},
      {"-b --suffix=", "SIMPLE_BACKUP_SUFFIX=.old", ""},
      {"--suffix=a/b -b", "", ""},
      {"-b", "VERSION_CONTROL=never", "x.gif.~1~"},
      {"--backup=simple", "VERSION_CONTROL=t", ""},
      {"", "VERSION_CONTROL=t", ""},
      {"--backup=none -S .q", "", ""},
  };
  const auto words = [](const std::string& text) {
    std::vector<std::string> split;
    std::istringstream in(text);
    for (std::string word; in >> word;) split.push_back(word);
    return split;
  };
  int n = 0;
  for (const auto& test : cases) {
    SCOPED_TRACE(test.options + " " + test.env + " over " + test.standing);
    const std::string folder = "case" + std::to_string(++n);
    ASSERT_EQ(Shell("cp -pr seed " + folder + " && cd " + folder + " && for f in " + test.standing +
                    "; do echo \"earlier $f\" >$f && touch -d 2002-01-01 $f; done && cp -pr . ../" + folder +
                    "-ref && cd ../" + folder + "-ref && " + test.env + " cp " + test.options + " x.gif.png x.gif")
                  .exitCode, 0);
    const Files reference = others(dir / (folder + "-ref")), before = others(dir / folder);
    std::string made;  // the backup cp made, or none
    for (const auto& [name, file] : reference) {
      if (std::get<0>(file) == old) made = name;
    }
    const Ran checked = Shell("cd " + folder + " && " + test.env + " LC_ALL=C.UTF-8 \"$K\" -n -v " + test.options + " x.gif");
    EXPECT_EQ(checked.out, "x.gif <- x.gif.png" + (made.empty() ? "" : ", backup " + made) + "\n");
    EXPECT_EQ(others(dir / folder), before);
    for (const bool copies : {false, true}) {
      for (const bool killed : {true, false}) {
        SCOPED_TRACE(std::string(copies ? "copied" : "linked") + (killed ? ", killed" : ", let go"));
        const fs::path run = dir / (folder + (copies ? "c" : "l") + (killed ? "k" : "g"));
        ASSERT_EQ(Shell("cp -pr " + folder + " " + run.string()).exitCode, 0);
        std::vector<std::string> args;
        if (copies) args = {"/usr/bin/python3", QUILLANE_WITHOUT_UNNAMED_FILES, "--fail", "link=EPERM", "--fail", "linkat=EPERM"};
        args.push_back(QUILLANE_PACK);
        for (const std::string& option : words(test.options)) args.push_back(option);
        args.push_back((run / "x.gif").string());
        std::vector<std::string> env = words(test.env);
        env.push_back("QUILLANE_STOP_AT=backed-up");
        const pid_t pid = Start(args, env);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, WUNTRACED), pid);
        if (WIFSTOPPED(status)) {
          // What stands while the pack is stopped, looked at before it is let go whatever it shows.
          Bytes carrier;
          Files files;
          try {
            carrier = ReadFileBytes(run / "x.gif");
            files = others(run);
          } catch (const std::exception& e) {
            ADD_FAILURE() << e.what();
          }
          std::error_code error;
          const std::uintmax_t links = fs::hard_link_count(run / made, error);
          kill(pid, killed ? SIGKILL : SIGCONT);
          EXPECT_EQ(ExitCode(pid), killed ? -1 : 0);
          EXPECT_FALSE(made.empty());
          EXPECT_EQ(carrier, old);
          EXPECT_EQ(files, reference);
          // A second link to the carrier, or a copy of it.
          EXPECT_EQ(links, copies ? 1u : 2u);
        } else {
          EXPECT_TRUE(made.empty());
          EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);
        }
        EXPECT_EQ(ReadFileBytes(run / "x.gif") == old, killed && !made.empty());
        EXPECT_EQ(others(run), reference);
      }
    }
  }

  // A numbered backup stays when the carrier then cannot be replaced (made so
  // by a filter on rename), and the message says so.
  ASSERT_EQ(Shell("cp -pr seed failing").exitCode, 0);
  const Ran failing = Shell("cd failing && LC_ALL=C.UTF-8 /usr/bin/python3 '" QUILLANE_WITHOUT_UNNAMED_FILES "' "
                            "--fail rename=EIO --fail renameat=EIO --fail renameat2=EIO \"$K\" --backup=t x.gif");
  EXPECT_EQ(failing.exitCode, 1);
  EXPECT_EQ(failing.err, "quillane-pack: x.gif: cannot replace x.gif: Input/output error; its backup x.gif.~1~ stays\n");
  EXPECT_EQ(ReadFileBytes(dir / "failing/x.gif"), old);
  EXPECT_EQ(ReadFileBytes(dir / "failing/x.gif.~1~"), old);
  EXPECT_FALSE(fs::exists(dir / "failing/x.gif.temp"));

  // With -o the backup is of the output that stands there, and none is made
  // where none stands; the carrier is left alone.
  ASSERT_EQ(Shell("cp -pr seed out").exitCode, 0);
  EXPECT_EQ(Shell("cd out && LC_ALL=C.UTF-8 \"$K\" -v -b -o new x.gif").out, "new/x.gif <- x.gif.png\n");
  const Bytes packed = ReadFileBytes(dir / "out/new/x.gif");
  EXPECT_EQ(Shell("cd out && LC_ALL=C.UTF-8 \"$K\" -v -b -o new x.gif").out, "new/x.gif <- x.gif.png, backup new/x.gif~\n");
  EXPECT_EQ(ReadFileBytes(dir / "out/new/x.gif~"), packed);
  EXPECT_EQ(ReadFileBytes(dir / "out/x.gif"), old);
  EXPECT_FALSE(fs::exists(dir / "out/x.gif~"));

  // Values GNU's tools refuse, and suffixes that would name a backup as one of the tools' own files.
  const std::string usage = "\nusage: quillane-pack [-rnqvb] [-j N] [--nearest] [--from DIR] [-o DIR] [--backup[=CONTROL]] "
                            "[-S SUFFIX] CARRIER...\n";
  const std::string values = "; the values are none or off, numbered or t, existing or nil, simple or never";
  const std::pair<std::string, std::string> refused[] = {
      {"--backup=bogus", "invalid value for --backup: bogus" + values},
      {"--backup=n", "ambiguous value for --backup: n" + values},
      {"VERSION_CONTROL=nothing \"$K\" -b", "invalid value for $VERSION_CONTROL: nothing" + values},
      {"-S .png", "invalid value for --suffix: .png: a backup so named would stand where a carrier, its picture or its staging file goes"},
      {"SIMPLE_BACKUP_SUFFIX=.GIF \"$K\" -b", "invalid value for $SIMPLE_BACKUP_SUFFIX: .GIF: a backup so named would stand where a carrier, its picture or its staging file goes"},
  };
  for (const auto& [args, problem] : refused) {
    const Ran run = Shell(std::string("cd seed && LC_ALL=C.UTF-8 ") + (args.find("$K") == std::string::npos ? "\"$K\" " : "") + args + " x.gif");
    EXPECT_EQ(run.exitCode, 2) << args;
    EXPECT_EQ(run.err, "quillane-pack: " + problem + usage) << args;
  }
  EXPECT_EQ(ReadFileBytes(dir / "seed/x.gif"), old);
}

// Killed at any point, a conversion leaves the earlier output or the complete
// new one under the output's name, never a mixture or a part; so does a pack
// under the carrier's, and its backup is none or the complete earlier carrier.
TEST_F(Cli, AKilledConversionOrPackLeavesTheOldFileOrTheNewOne) {
  const Bytes fresh = PutCarrier("large.gif", CarrierForm::kImage, 1024, 2048);
  const std::string source = (dir / "large.gif").string(), picture = source + ".png";
  // The same size, other pixels: a picture edited all over.
  WriteFileBytes(dir / "other.gif", MakeCarrier(MakeBitmap(1024, 2048, 5), CarrierForm::kImage));
  ASSERT_EQ(Run("-q -f png other.gif").exitCode, 0);
  fs::rename(dir / "other.gif.png", picture);
  // An earlier output that is no picture of the carrier is replaced only with --force.
  const auto runs = [&](const char* program, const char* option, const fs::path& file, const Bytes& old) {
    const auto once = [&](std::chrono::microseconds killAfter) {
      const pid_t pid = Start({program, option, source});
      if (killAfter.count() > 0) {
        std::this_thread::sleep_for(killAfter);
        kill(pid, SIGKILL);
      }
      ExitCode(pid);
    };
    WriteFileBytes(file, old);
    const auto start = std::chrono::steady_clock::now();
    once({});
    const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    const Bytes done = ReadFileBytes(file);
    EXPECT_NE(done, old);
    constexpr int kKills = 30;
    int oldKept = 0, newWritten = 0;
    for (int i = 0; i < kKills; ++i) {
      WriteFileBytes(file, old);
      once(whole * 4 * (i + 1) / (3 * kKills) + std::chrono::microseconds(1));  // past the end too
      const Bytes now = ReadFileBytes(file);
      const fs::path backup = file.string() + "~";
      if (fs::exists(backup)) {
        EXPECT_EQ(ReadFileBytes(backup), old) << program << ", kill " << i;
      }
      if (now == old) ++oldKept;
      else if (now == done) ++newWritten;
      else ADD_FAILURE() << program << ", kill " << i << " left " << now.size() << " bytes that are neither";
    }
    std::printf("kills: %d of %s, the earlier file kept %d, the new one complete %d (a whole run %lld us)\n", kKills,
                fs::path(program).filename().c_str(), oldKept, newWritten, static_cast<long long>(whole.count()));
    return done;
  };
  EXPECT_EQ(runs(QUILLANE_CONVERT, "--force", dir / "large.gif.bmp", ExpectedOutput(MakeBitmap(1024, 2047, 5))), fresh);
  fs::remove(dir / "large.gif.bmp");
  runs(QUILLANE_PACK, "-qb", dir / "large.gif", MakeCarrier(MakeBitmap(1024, 2048, 42), CarrierForm::kImage));
}

}  // namespace
