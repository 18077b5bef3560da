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

#include "../src/cli/describe.h"
#include "../src/cli/texts.h"
#include "support.h"
#include "version.h"

namespace {

const std::string kPackUsage =
    "usage: quillane-pack [-rnqvb] [-j N] [--nearest] [--reserve LIST] [--palette] [--resize] [--from DIR] [-o DIR]\n"
    "       [--backup[=CONTROL]] [-S SUFFIX] [--review DIR] CARRIER...\n";

struct Ran {
  int exitCode;
  std::string out;
  std::string err;
};

// The tools, copied where any user may run them: some runs are another
// user's, who may not reach the build folder (one in a 0700 home, say).
struct Tools {
  Tools() {
    fs::permissions(folder.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                       fs::perms::others_read | fs::perms::others_exec);
    for (const auto& [from, to] : {std::pair{QUILLANE_CONVERT, &convert}, std::pair{QUILLANE_PACK, &pack},
                                   std::pair{QUILLANE_MAKE_CARRIER, &make}}) {
      *to = (folder / fs::path(from).filename()).string();
      fs::copy_file(from, *to);
    }
  }
  TempDir folder;
  std::string convert, pack, make;
};

const Tools& SharedTools() {
  static const Tools tools;
  return tools;
}

// Starts `args` with exactly `environment`, standard error into `errors`.
pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& environment, const fs::path& errors) {
  std::vector<char*> argv, envp;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  for (const std::string& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

class Cli : public ::testing::Test {
 protected:
  // Runs a shell command in the test folder, `$Q` standing for the converter.
  Ran Shell(const std::string& command) {
    const fs::path out = scratch / "stdout", err = scratch / "stderr";
    // $Q converts, $K packs, $M makes carriers; $AS runs a command as a user
    // whom limits and permissions bind, $F on a system that fails the calls
    // its options name (tests/system_faults.py).
    const Tools& tools = SharedTools();
    std::string line = "cd '" + dir.path().string();
    line += "' && export Q='" + tools.convert + "' K='" + tools.pack + "' M='" + tools.make +
            "' F='/usr/bin/python3 " QUILLANE_SYSTEM_FAULTS "' AS='";
    if (geteuid() == 0) line += "setpriv --reuid=65534 --regid=65534 --clear-groups";
    line += "' && { " + command + "\n} >'" + out.string() + "' 2>'" + err.string() + "'";
    const int status = std::system(line.c_str());
    const Bytes outBytes = ReadFileBytes(out), errBytes = ReadFileBytes(err);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::string(outBytes.begin(), outBytes.end()),
            std::string(errBytes.begin(), errBytes.end())};
  }

  // The converter in English, whatever this machine's locale.
  Ran Run(const std::string& args) { return Shell("LC_ALL=C.UTF-8 \"$Q\" " + args); }

  // Starts `args` on its own, standard error into `errors`, with `env` added
  // to the environment.
  static pid_t Start(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                     const fs::path& errors = "/dev/null") {
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) environment.push_back(*e);
    environment.insert(environment.end(), env.begin(), env.end());
    return Spawn(args, environment, errors);
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

  // A file size limit makes the large bitmap's writes fail; the program
  // ignores the signal that would end it, so the system's reason comes back
  // instead, and the batch goes on.
  const std::string args = "a.gif b.png c.GIF d.gif missing.gif folder.gif big.gif a.gif";
  const std::string expected =
      "quillane-convert: b.png: not a .gif or .GIF file\n"
      "quillane-convert: d.gif: not a carrier GIF\n"
      "quillane-convert: missing.gif: cannot open: No such file or directory\n"
      "quillane-convert: folder.gif: not a regular file\n"
      "quillane-convert: big.gif: cannot write big.gif.bmp: File too large\n"
      "8 files: 3 converted, 5 failed\n";
  for (const char* jobs : {"-j 1", "-j 4", ""}) {
    const Ran run = Shell(std::string("ulimit -f 64; LC_ALL=C.UTF-8 \"$Q\" --force ") + jobs + " -v " + args);
    EXPECT_EQ(run.exitCode, 1) << jobs;
    EXPECT_EQ(run.err, expected) << jobs;
    EXPECT_EQ(run.out, "a.gif -> a.gif.bmp\nc.GIF -> c.GIF.bmp\na.gif -> a.gif.bmp\n") << jobs;
  }
  EXPECT_EQ(ReadFileBytes(dir / "a.gif.bmp"), a);
  EXPECT_EQ(ReadFileBytes(dir / "c.GIF.bmp"), c);
  EXPECT_EQ(ReadFileBytes(dir / "big.gif.bmp"), Bytes(3, 'E'));  // the earlier output stays
  // Without --force, an output that is no picture is kept like an edit.
  EXPECT_EQ(Run("big.gif").err,
            "quillane-convert: big.gif.bmp: kept: it is no picture of its carrier's bitmap (not a PNG or BMP picture); --force replaces it\n");
  EXPECT_EQ(ReadFileBytes(dir / "a.gif"), aSource);
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"a.gif", "a.gif.bmp", "b.png", "big.gif", "big.gif.bmp",
                                                  "c.GIF", "c.GIF.bmp", "d.gif", "folder.gif"}));

  EXPECT_EQ(Shell("ulimit -f 64; LC_ALL=C.UTF-8 \"$Q\" -f png big.gif").err,
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
  WriteFileBytes(dir / "set/a.gif.bmp", Bytes(2, 1));  // an earlier output belongs to its carrier: not skipped
  WriteFileBytes(dir / "set/bad.gif", Bytes(30, 0x3B));
  const auto before = Snapshot(dir.path());

  const Ran run = Run("-n -v -r set -o out");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out,
            "set/a.gif: image data, 174 bytes, 8 x 5, 24-bit, rows of 24 bytes\n"
            "set/a.gif.temp: skipped: a staging file left by an interrupted run\n"
            "set/b.GIF: comment, 62 bytes, 2 x 1, 24-bit, rows of 8 bytes\n"
            "set/bad.gif: skipped: not a carrier GIF\n"
            "set/c.gif: image data, 99 bytes, 5 x 3, 24-bit, rows packed to 15 bytes, written padded to 16\n"
            "set/d.gif: image data, 70 bytes, 6 x 2, compressed (RLE8), kept as carried\n"
            "set/e.gif: image data, 870 bytes, 8 x 2, 8-bit, palette of 200 colours, rows of 8 bytes\n"
            "set/f.gif: image data, 78 bytes, 6 x 1, 16-bit 5-6-5, rows of 12 bytes\n"
            "set/g.gif: image data, 94 bytes, 6 x 1, 32-bit with alpha, rows of 24 bytes\n");
  EXPECT_EQ(run.err, "9 files: 7 would be converted, 0 failed, 1 skipped, 1 not carriers\n");
  // An earlier output that is no picture is kept, which a check says too.
  EXPECT_EQ(Run("--dry-run set/a.gif").err,
            "quillane-convert: set/a.gif.bmp: kept: it is no picture of its carrier's bitmap (not a PNG or BMP picture); --force replaces it\n");
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
  ASSERT_EQ(Shell("\"$M\" --width 5 --height 3 b.gif && /usr/bin/python3 -c \"import struct; "
                  "open('b.gif.bmp', 'wb').write(b'BM' + struct.pack('<IHHIIiiHHI', 174, 0, 0, 54, 40, 5, 3, 1, 64, 0) + bytes(140))\"")
                .exitCode, 0);
  EXPECT_EQ(Shell("LANG=ja_JP.UTF-8 \"$K\" t.gif p.gif b.gif").err,
            "quillane-pack: t.gif: t.gif.png の 1 個の画素が透明ですが、ビットマップは透明を持てません。最初は 3, 1。"
            "ビットマップ (24 ビット) は不透明な色だけを持てます。これらの画素を不透明にしてください\n"
            "quillane-pack: p.gif: p.gif.png の 15 個の画素がパレットにない色です。最初は左上から 0, 0。"
            "--nearest でパレットの最も近い色に置き換えられます\n"
            "quillane-pack: b.gif: b.gif.bmp を読み取れません: 64 ビットの BMP には対応していません\n"
            "3 個の搬送ファイル: 書き戻し 0、書き戻し済み 0、失敗 3\n");
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
                           "\nusage: quillane-convert [-rnqvb] [-j N] [-o DIR] [-f png|bmp] [--force] [--backup[=CONTROL]] [-S SUFFIX] [--catalogue] FILE...\n") << args;
  }
  EXPECT_EQ(Shell("LC_ALL=C \"$K\" -f png a.gif").err, "quillane-pack: unknown option -f\n" + kPackUsage);
  // Entries are 0 to 255, a range runs upwards, and commas join them.
  for (const char* list : {"256", "0-256", "9-3", "1,,2", "0,", ",0", "1-", "-", "a", "0x10", "00001", "1 2"}) {
    EXPECT_EQ(Shell(std::string("LC_ALL=C \"$K\" --reserve '") + list + "' a.gif").err,
              "quillane-pack: invalid value for --reserve: " + std::string(list) + "\n" + kPackUsage) << list;
  }
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
  // A carrier and its edited picture; then nothing written, nothing left.
  const std::string edited = oneGood + " && cp x.gif x.was && \"$M\" --width 5 --height 3 --seed 7 o.gif && "
                                       "\"$Q\" -q -f png o.gif && cp o.gif.png x.gif.png";
  const std::string lockCheck = "test ! -e x.gif.bmp && test -z \"$(ls -A out)\" && test -z \"$(ls | grep '\\.temp$')\" && "
                                "cmp -s x.gif.png o.gif.png && cmp -s x.gif x.was";
  // The sanitizers' own runtime needs threads and address space beyond these.
#ifdef QUILLANE_SANITIZED
  const std::string limits = "exit 0; ", littleAddressSpace;
#else
  const std::string limits, littleAddressSpace = "ulimit -v 32000 && ";
#endif
  // A 1-bit bitmap of 1,000,000-byte rows, and pictures of it whose headers
  // claim 32 bits (a BMP cut after them) and 16-bit RGBA (a PNG of 69 bytes).
  const std::string wide =
      "\"$M\" --depth 1 --width 8000000 --height 2 o.gif && cp o.gif b.gif && cp o.gif p.gif && \"$Q\" -q o.gif && "
      "/usr/bin/python3 -c \"import struct, zlib; w = 8000000; "
      "open('b.gif.bmp', 'wb').write(b'BM' + struct.pack('<IHHIIiiHHIIiiII', 54 + 8 * w, 0, 0, 54, 40, w, 2, 1, 32, 0, 0, 0, 0, 0, 0)); "
      "c = lambda k, d: struct.pack('>I', len(d)) + k + d + struct.pack('>I', zlib.crc32(k + d)); "
      "open('p.gif.png', 'wb').write(b'\\x89PNG\\r\\n\\x1a\\n' + c(b'IHDR', struct.pack('>IIBBBBB', w, 2, 16, 6, 0, 0, 0)) + "
      "c(b'IDAT', zlib.compress(bytes(9))) + c(b'IEND', b''))\"";
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
      // 8 bytes a pixel of the PNG's, twice in libpng, and 4 of ours: 160,000,000
      // bytes, where 32 rows of the bitmap are 32,000,000.
      {"pictures that claim more than their bitmap, in little address space", wide,
       "sh -c '" + littleAddressSpace + "exec \"$K\" -j 1 b.gif p.gif o.gif'", 1,
       "quillane-pack: b.gif: cannot read b.gif.bmp: cut short\n"
       "quillane-pack: p.gif: cannot read p.gif.png: its rows take 152.6 MiB to read at its depth, more than the 30.5 MiB "
       "the carrier's bitmap allows; save it as BMP or at a lower depth\n"
       "3 carriers: 0 packed, 1 already hold their pictures, 2 failed\n",
       "cmp b.gif o.gif && cmp p.gif o.gif"},
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
      {"a file size limit on a batch of packs, its pictures beside its carriers",
       "mkdir t && printf x >t/notes.txt && for i in 1 2 3 4; do w=$((i / 4 * 192 + 8)); "
       "\"$M\" --width $w --height $w --seed $i t/$i.gif && \"$M\" --width $w --height $w --seed 9$i o.gif && "
       "\"$Q\" -q o.gif && mv o.gif.bmp t/$i.gif.bmp; done && cp t/4.gif 4.was",
       "ulimit -f 64 && \"$K\" -r -j 2 t", 1,
       "quillane-pack: t/4.gif: cannot write t/4.gif: File too large\n"
       "4 carriers: 3 packed, 0 already hold their pictures, 1 failed; 1 other files skipped\n",
       "cmp -s t/4.gif 4.was && test -z \"$(ls t | grep '\\.temp$')\""},
      {"no lock manager, without unnamed files",
       edited,
       "for run in \"$Q\" \"$Q --force -f png\" \"$K\" \"$K -o out\"; do $F --no-unnamed-files --flock ENOLCK $run x.gif; done", 1,
       "quillane-convert: x.gif: cannot create x.gif.temp: No locks available\n"
       "quillane-convert: x.gif: cannot create x.gif.temp: No locks available\n"
       "quillane-pack: x.gif: cannot create x.gif.temp: No locks available\n"
       "quillane-pack: x.gif: cannot create out/x.gif.temp: No locks available\n",
       lockCheck},
      {"a lock that fails",
       edited,
       "for run in \"$Q\" \"$Q --force -f png\" \"$K\" \"$K -o out\"; do $F --flock EIO $run x.gif; done", 1,
       "quillane-convert: x.gif: cannot create x.gif.temp: Input/output error\n"
       "quillane-convert: x.gif: cannot create x.gif.temp: Input/output error\n"
       "quillane-pack: x.gif: cannot create x.gif.temp: Input/output error\n"
       "quillane-pack: x.gif: cannot create out/x.gif.temp: Input/output error\n",
       lockCheck},
      {"a stat that fails, of a folder under -r and of an output folder",
       "mkdir t out && \"$M\" t/x.gif", "$F --stat EIO \"$Q\" -r t; $F --stat EIO \"$Q\" -o out t/x.gif", 1,
       "quillane-convert: t: cannot read: Input/output error\n"
       "quillane-convert: t/x.gif: cannot create folder out: Input/output error\n",
       "test -z \"$(ls -A out)\" && test \"$(ls t)\" = x.gif"},
      {"a page of one's own where the catalogue goes", oneGood + " && printf mine >index.html",
       "\"$Q\" --catalogue x.gif", 1,
       "quillane-convert: --catalogue: cannot replace index.html: --catalogue did not make it\n",
       "test \"$(cat index.html)\" = mine && test ! -e x.gif.bmp && test ! -e index.json"},
      {"checksums of one's own where the catalogue goes", oneGood + " && printf mine >SHA256SUMS",
       "\"$Q\" --catalogue -o out x.gif && mv out/SHA256SUMS . && \"$Q\" --catalogue x.gif", 1,
       "quillane-convert: --catalogue: cannot replace SHA256SUMS: --catalogue did not make it\n",
       "test ! -e index.html && test -e out/index.html && \"$Q\" -q --catalogue -o out x.gif"},
      {"a folder at a staging name of the catalogue", oneGood + " && mkdir index.json.temp", "\"$Q\" --catalogue x.gif", 1,
       "quillane-convert: --catalogue: cannot create index.json.temp: Is a directory\n",
       "cmp x.gif.bmp x.want && test -e index.html && test ! -e index.json && (sha256sum -c SHA256SUMS)"},
      {"names sha256sum escapes", oneGood + " && cp x.gif \"$(printf 'a\\\\b\\nc.gif')\" && mkdir -p 't/#?%' && mv x.gif 't/#?%'",
       "\"$Q\" -q --catalogue -r -o out a* t && cd out && sha256sum -c --strict SHA256SUMS >/dev/null", 0, "",
       "test \"$(head -c 1 out/SHA256SUMS)\" = '\\' && grep -q ' #?%/x.gif.bmp$' out/SHA256SUMS"},
  };
  // The user $AS runs as may not enter the folders above this build (a
  // checkout in root's home, or below any mktemp -d), so the cases run a copy
  // of the converter from a folder every user can enter.
  TempDir tools;
  const fs::path converter = tools / "quillane-convert";
  fs::copy_file(QUILLANE_CONVERT, converter);
  const fs::perms reachable = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec;
  fs::permissions(tools.path(), reachable);
  fs::permissions(converter, reachable);
  int n = 0;
  for (const auto& test : cases) {
    SCOPED_TRACE(test.what);
    // Each case in a folder of its own.
    const std::string folder = std::to_string(++n);
    const std::string in = "mkdir -p " + folder + " && cd " + folder + " && ";
    ASSERT_EQ(Shell(in + (test.setup.empty() ? "true" : test.setup)).exitCode, 0);
    const Ran run = Shell(in + "export LC_ALL=C.UTF-8 Q='" + converter.string() + "'; " + test.command);
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
    if (!race.unnamed) first.insert(first.begin(), {"/usr/bin/python3", QUILLANE_SYSTEM_FAULTS, "--no-unnamed-files"});
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

// A batch interrupted while it works on its third file (stopped there by the
// seam, signalled, then let go) finishes the files it started, starts no
// other, says so in its summary and exits with 128 + the signal's number. A
// second interruption, the process stopped again just before its rename,
// ends it at once. Either way every output is the old one or the new one,
// the new ones those of the files started first, and no staging file stays.
TEST_F(Cli, AnInterruptedBatchFinishesWhatItStartedAndSaysSo) {
  constexpr int kFiles = 5;
  const Bytes old(5, 'E');
  const struct {
    const char* what;
    bool pack;
    std::vector<std::string> options;
    std::vector<int> signals;  // one at each stop: the third file's staging, then its rename
    int exitCode;
  } cases[] = {
      {"Ctrl-C", false, {"-j", "1"}, {SIGINT}, 130},
      {"SIGTERM", false, {"-j", "1"}, {SIGTERM}, 143},
      {"SIGHUP, two jobs into a folder", false, {"-j", "2", "-o", "out"}, {SIGHUP}, 129},
      {"Ctrl-C in a pack", true, {"-j", "1"}, {SIGINT}, 130},
      {"Ctrl-C in a pack, two jobs into a folder", true, {"-j", "2", "-o", "out"}, {SIGINT}, 130},
      {"Ctrl-C twice", false, {"-j", "1"}, {SIGINT, SIGINT}, 130},
      {"Ctrl-C twice in a pack", true, {"-j", "1"}, {SIGINT, SIGINT}, 130},
  };
  int n = 0;
  for (const auto& test : cases) {
    SCOPED_TRACE(test.what);
    const fs::path folder = dir / std::to_string(++n);
    const bool into = test.options.back() == "out";
    fs::create_directories(folder / "out");
    // The old outputs of a conversion show the carrier's picture in other
    // bytes, which a conversion replaces; a pack replaces whatever stands.
    std::vector<std::string> args = {test.pack ? QUILLANE_PACK : QUILLANE_CONVERT};
    for (const std::string& option : test.options) args.push_back(option == "out" ? (folder / "out").string() : option);
    // Each output, the old one it replaces, and the new one: the carrier of
    // the picture beside each carrier, for a pack (rows without padding, so
    // that it gives that carrier whole).
    std::vector<fs::path> outputs;
    std::vector<Bytes> was, fresh;
    for (int i = 0; i < kFiles; ++i) {
      const std::string name = std::string(1, static_cast<char>('a' + i)) + ".gif";
      const Bytes bitmap = MakeBitmap(16, 8, i), edited = MakeBitmap(16, 8, i + 100);
      WriteFileBytes(folder / name, MakeCarrier(bitmap, CarrierForm::kImage));
      if (test.pack) {
        WriteFileBytes(folder / "edited.gif", MakeCarrier(edited, CarrierForm::kImage));
        ASSERT_EQ(Shell("cd " + folder.filename().string() + " && \"$Q\" -q -f png edited.gif && mv edited.gif.png " +
                        name + ".png && rm edited.gif").exitCode, 0);
      }
      fresh.push_back(test.pack ? MakeCarrier(edited, CarrierForm::kImage) : ExpectedOutput(bitmap));
      const std::string output = test.pack ? name : name + ".bmp";
      outputs.push_back(into ? folder / "out" / output : folder / output);
      was.push_back(test.pack && !into ? MakeCarrier(bitmap, CarrierForm::kImage)
                                       : test.pack ? old : SamePictureOtherBytes(ExpectedOutput(bitmap)));
      if (!test.pack || into) WriteFileBytes(outputs.back(), was.back());
      args.push_back((folder / name).string());
    }
    const bool twice = test.signals.size() == 2;
    const std::string stops = twice ? "staged@c.gif.temp,replace@c.gif.temp" : "staged@c.gif.temp";
    const pid_t pid = Start(args, {"LC_ALL=C.UTF-8", "QUILLANE_STOP_AT=" + stops}, folder / "errors");
    for (const int signal : test.signals) {
      int status = 0;
      ASSERT_EQ(waitpid(pid, &status, WUNTRACED), pid);
      ASSERT_TRUE(WIFSTOPPED(status));
      kill(pid, signal);
      kill(pid, SIGCONT);
    }
    EXPECT_EQ(ExitCode(pid), test.exitCode);

    // One job takes the files in order: exactly those up to the one stopped
    // at are new (but for it, when interrupted twice). With two, which of
    // the others the second job had started is its own affair; the one
    // stopped at was under way and is new.
    const bool oneJob = test.options[1] == "1";
    int started = 0;
    for (int i = 0; i < kFiles; ++i) {
      SCOPED_TRACE(outputs[i].filename());
      const Bytes now = ReadFileBytes(outputs[i]);
      if (now != was[i]) {
        EXPECT_EQ(now, fresh[i]);
        ++started;
      }
      if (oneJob || i == 2) {
        EXPECT_EQ(now != was[i], i < (twice ? 2 : 3));
      }
    }
    const std::string counts =
        test.pack ? "5 carriers: " + std::to_string(started) + " packed, 0 already hold their pictures, 0 failed, "
                  : "5 files: " + std::to_string(started) + " converted, 0 failed, ";
    const Bytes errors = ReadFileBytes(folder / "errors");
    EXPECT_EQ(std::string(errors.begin(), errors.end()),
              twice ? "" : counts + std::to_string(kFiles - started) + " not started: interrupted\n");
    for (const fs::path& place : {folder, folder / "out"}) {
      for (const auto& entry : fs::directory_iterator(place))
        EXPECT_NE(entry.path().extension(), ".temp") << entry.path();
    }
  }
}

// Each picture that cannot go back: one line saying why, exit status 1, and
// the carrier as it was, to the byte and the timestamp.
TEST_F(Cli, PackRefusesWhatCannotGoBackAndTouchesNothing) {
  const std::string pil = "/usr/bin/python3 -c \"from PIL import Image; Image.new(";
  const std::string edit = "/usr/bin/python3 -c \"from PIL import Image; i = Image.open('x.gif.png'); ";
  const std::string opaque = "the bitmap (24-bit) holds opaque colours only: make those pixels opaque";
  const std::string cut = "/usr/bin/python3 -c \"b = open('r.bmp', 'rb').read(); open('r.bmp', 'wb').write(b[:-4])\" && ";
  // A BMP of the carrier's size whose header, of `info` bytes, gives `depth` and `compression`.
  const auto bmp = [](int info, int depth, int compression) {
    return "/usr/bin/python3 -c \"import struct; h = struct.pack('<IiiHHI', " + std::to_string(info) + ", 5, 3, 1, " +
           std::to_string(depth) + ", " + std::to_string(compression) + ").ljust(" + std::to_string(info) + ", b'\\0')[:" +
           std::to_string(info) + "]; open('x.gif.bmp', 'wb').write(b'BM' + struct.pack('<IHHI', 14 + len(h) + 64, 0, 0, "
           "14 + len(h)) + h + bytes(range(64)))\"";
  };
  const struct {
    const char* what;
    std::string setup, err;
    std::string command = "\"$K\" x.gif";
  } cases[] = {
      {"no picture", "", "x.gif: no picture: neither x.gif.png nor x.gif.bmp exists; pictures are looked for beside each "
                         "carrier, and --from DIR takes them from DIR, where quillane-convert -o DIR wrote them"},
      {"a picture in a folder closed to this user", "mkdir p && \"$Q\" -q -f png -o p x.gif && chmod 0 p",
       "x.gif: cannot read p/x.gif.png: Permission denied", "$AS \"$K\" --from p x.gif"},
      {"no image", "printf junk >x.gif.png", "x.gif: cannot read x.gif.png: not a PNG or BMP picture"},
      {"the wrong width", "\"$M\" --width 6 --height 3 o.gif x.gif.bmp",
       "x.gif: x.gif.bmp is 6 x 3, the carrier's bitmap 5 x 3: the picture must keep the bitmap's size, "
       "or --resize writes the bitmap at the picture's"},
      {"the wrong height", "\"$M\" --width 5 --height 4 o.gif x.gif.bmp",
       "x.gif: x.gif.bmp is 5 x 4, the carrier's bitmap 5 x 3: the picture must keep the bitmap's size, "
       "or --resize writes the bitmap at the picture's"},
      {"the wrong height as PNG", pil + "'RGB', (5, 2)).save('x.gif.png')\"",
       "x.gif: x.gif.png is 5 x 2, the carrier's bitmap 5 x 3: the picture must keep the bitmap's size, "
       "or --resize writes the bitmap at the picture's"},
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
      // Painted over the entry farthest from black, so that black's nearest entry is another.
      {"an index past the palette, which shows black",
       "\"$M\" --depth 8 --colours 5 --width 5 --height 3 x.gif && \"$Q\" -q -f png x.gif && " + edit +
       "p = i.getpalette(); i.paste(max(range(5), key=lambda k: sum(p[3 * k:3 * k + 3])), (0, 0, 5, 3)); "
       "i.save('x.gif.png')\" && \"$K\" -q x.gif && " + edit + "i.putpixel((2, 1), 5); i.save('x.gif.png')\"",
       "x.gif: 1 pixels of x.gif.png are not in the carrier's palette; the first at 2, 1 from the top left; "
       "--nearest stores each as the palette's nearest colour"},
      {"too large to resize to", pil + "'1', (16384, 4097)).save('x.gif.png')\"",
       "x.gif: x.gif.png is 16384 x 4097: --resize writes bitmaps of up to 67,108,864 pixels, 65,536 a side",
       "\"$K\" --resize x.gif"},
      {"damaged RLE", "/usr/bin/convert rose: -resize 5x3! -colors 16 -compress RLE BMP3:r.bmp && " + cut +
                      "\"$M\" --payload r.bmp x.gif && " + pil + "'RGB', (5, 3)).save('x.gif.png')\"",
       "x.gif: damaged (RLE data cut short), the picture cannot be stored back"},
      {"a palette changed", "\"$M\" --depth 8 --colours 5 --width 5 --height 3 x.gif && \"$Q\" -q -f png x.gif && " + edit +
       "p = i.getpalette(); p[0:6] = [255, 0, 255, 1, 2, 3]; i.putpalette(p); i.save('x.gif.png')\"",
       "x.gif: the palette of x.gif.png differs from the carrier's in 2 entries, its pixels keeping their indices; "
       "--palette gives the carrier the picture's palette"},
      {"a palette changed and made longer", "\"$M\" --depth 8 --colours 5 --width 5 --height 3 x.gif && \"$Q\" -q -f png x.gif && " +
       edit + "p = i.getpalette()[:15] + [9, 9, 9]; p[0:3] = [255, 0, 255]; i.putpalette(p); i.paste(0, (0, 0, 5, 3)); "
       "i.save('x.gif.png')\"",
       "x.gif: the palette of x.gif.png has 6 entries, the carrier's 5: a palette edit keeps to the carrier's entries",
       "\"$K\" --palette x.gif"},
      {"no carrier", "printf junk >x.gif && " + pil + "'RGB', (5, 3)).save('x.gif.png')\"",
       "x.gif: not a carrier GIF"},
      // BMP forms the format defines and editors seldom write, each named.
      {"a 2-bit BMP", bmp(40, 2, 0), "x.gif: cannot read x.gif.bmp: a 2-bit BMP: not supported"},
      {"a 64-bit BMP", bmp(40, 64, 0), "x.gif: cannot read x.gif.bmp: a 64-bit BMP: not supported"},
      {"a 48-bit BMP", bmp(124, 48, 0), "x.gif: cannot read x.gif.bmp: a BMP of 48 bits a pixel: not supported"},
      {"an OS/2 2.x header", bmp(64, 24, 0), "x.gif: cannot read x.gif.bmp: a BMP with an OS/2 2.x header: not supported"},
      {"an OS/2 2.x header of 16 bytes", bmp(16, 8, 0),
       "x.gif: cannot read x.gif.bmp: a BMP with an OS/2 2.x header: not supported"},
      {"Huffman 1D", bmp(64, 1, 3), "x.gif: cannot read x.gif.bmp: a Huffman 1D BMP (OS/2): not supported"},
      {"RLE24", bmp(64, 24, 4), "x.gif: cannot read x.gif.bmp: an RLE24 BMP (OS/2): not supported"},
      {"a JPEG inside", bmp(124, 0, 4), "x.gif: cannot read x.gif.bmp: a BMP with a JPEG inside: not supported"},
      {"a PNG inside", bmp(108, 0, 5), "x.gif: cannot read x.gif.bmp: a BMP with a PNG inside: not supported"},
      {"alpha a 56-byte header names over uncompressed pixels, as GIMP writes it",
       "/usr/bin/python3 -c \"import struct; h = struct.pack('<IiiHHI', 56, 5, 3, 1, 32, 0).ljust(40, b'\\0') + "
       "struct.pack('<4I', 0xFF0000, 0xFF00, 0xFF, 0xFF000000); "
       "open('x.gif.bmp', 'wb').write(b'BM' + struct.pack('<IHHI', 130, 0, 0, 70) + h + bytes([9, 9, 9, 128]) * 15)\"",
       "x.gif: 15 pixels of x.gif.bmp are transparent, which the carrier's bitmap cannot hold; the first at 0, 0; " + opaque},
      {"a compression of no meaning", bmp(40, 32, 11), "x.gif: cannot read x.gif.bmp: a BMP of compression 11: not supported"},
      {"RLE8 at 24 bits", bmp(40, 24, 1),
       "x.gif: cannot read x.gif.bmp: damaged (its header's fields contradict each other)"},
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
    const Ran run = Shell(in + "LC_ALL=C.UTF-8 " + test.command);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "quillane-pack: " + test.err + "\n");
    EXPECT_EQ(ReadFileBytes(folder / "x.gif"), carrier);
    EXPECT_EQ(fs::last_write_time(folder / "x.gif"), time);
    EXPECT_FALSE(fs::exists(folder / "x.gif.temp"));
  }
  Shell("chmod -R u+rwX .");
}

// Nothing is written that was not asked for: an output that would replace
// another source is refused before anything is written, an unchanged carrier
// is not rewritten whatever -o names, a packed one keeps its permissions and
// owner, and a bitmap without pixels gets no PNG while one without a picture,
// as RLE data cut short, gets its BMP.
TEST_F(Cli, WritesOnlyWhatItIsAskedTo) {
  ASSERT_EQ(Shell("mkdir a b && \"$M\" --seed 1 a/x.gif && \"$M\" --seed 2 b/x.gif && \"$Q\" -q a/x.gif b/x.gif && "
                  "\"$M\" --seed 3 y.gif && \"$Q\" -q y.gif && touch -d 2001-01-01 y.gif && "
                  "\"$M\" --width 16 --height 0 empty.gif && "
                  "/usr/bin/convert rose: -colors 16 -compress RLE BMP3:r.bmp && /usr/bin/python3 -c "
                  "\"b = open('r.bmp', 'rb').read(); open('r.bmp', 'wb').write(b[:-4])\" && \"$M\" --payload r.bmp rle.gif")
                .exitCode, 0);
  const Bytes b = ReadFileBytes(dir / "b/x.gif");
  const Ran onto = Shell("LC_ALL=C.UTF-8 \"$K\" -o b a/x.gif b/x.gif");
  EXPECT_EQ(onto.exitCode, 1);
  EXPECT_EQ(onto.err, "quillane-pack: a/x.gif: cannot write b/x.gif: it would replace b/x.gif, a file this run reads\n"
                      "2 carriers: 0 packed, 1 already hold their pictures, 1 failed\n");
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
  EXPECT_EQ(png.out, "rle.gif -> rle.gif.bmp (damaged (RLE data cut short), kept as BMP)\n");
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

  // An output that shows the carrier's picture in other bytes, as p.gif.bmp
  // with its palette reordered, is replaced; one that holds what converting
  // writes is left alone, its time and all.
  ASSERT_EQ(Shell("\"$Q\" -q -f png p.gif && \"$Q\" -q p.gif && \"$Q\" -q -o fresh p.gif && cmp p.gif.bmp fresh/p.gif.bmp && "
                  "touch -d 2001-01-01 p.gif.bmp p.gif.png && \"$Q\" -q p.gif && \"$Q\" -q -f png p.gif").exitCode, 0);
  EXPECT_EQ(Shell("stat -c %y p.gif.bmp p.gif.png | cut -c1-10").out, "2001-01-01\n2001-01-01\n");

  // A tree through PNG and back, as the manual shows it, gives every carrier back.
  ASSERT_EQ(Shell("mkdir -p res/sub && mv rle.gif res/sub && mv y.gif res").exitCode, 0);
  EXPECT_EQ(Shell("\"$Q\" -q -r -f png -o pictures res && \"$K\" -q -r --from pictures -o res-new res").exitCode, 0);
  EXPECT_EQ(ReadFileBytes(dir / "res-new/sub/rle.gif"), ReadFileBytes(dir / "res/sub/rle.gif"));
  EXPECT_EQ(ReadFileBytes(dir / "res-new/y.gif"), ReadFileBytes(dir / "res/y.gif"));

  // Only carriers are counted: a picture beside its carrier is that carrier's,
  // and the other files are named with -v, in the order met.
  ASSERT_EQ(Shell("cp pictures/y.gif.png res && printf x >res/notes.txt && printf x >res/y.gif.temp").exitCode, 0);
  const Ran tree = Shell("LC_ALL=C.UTF-8 \"$K\" -v -r --from pictures res");
  EXPECT_EQ(tree.out, "res/notes.txt: skipped: not a .gif or .GIF file\n"
                      "res/sub/rle.gif: unchanged (pictures/sub/rle.gif.bmp)\n"
                      "res/y.gif: unchanged (pictures/y.gif.png)\n"
                      "res/y.gif.temp: skipped: a staging file left by an interrupted run\n");
  EXPECT_EQ(tree.err, "2 carriers: 0 packed, 2 already hold their pictures, 0 failed; 2 other files skipped\n");
}

// Two pictures of one carrier: the one showing other pixels than the carrier
// is the edit and goes back, however old it is, and the other is brought in
// line, so that packing again changes nothing; one edit saved in both goes
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
      {"the PNG, the BMP newer", "1, 1", nullptr, 0,
       "x.gif <- x.gif.png: 1 pixels in 1 x 1 at 1, 1; x.gif.bmp now shows it too\n", "", "png"},
      {"the BMP, the PNG newer", nullptr, "2, 0", 0,
       "x.gif <- x.gif.bmp: 1 pixels in 1 x 1 at 2, 0; x.gif.png now shows it too\n", "", "bmp"},
      {"both alike", "1, 1", "1, 1", 0, "x.gif <- x.gif.png: 1 pixels in 1 x 1 at 1, 1\n", "", "png"},
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
      for (const char* picture : {"png", "bmp"})
        EXPECT_EQ(Shell(in + "\"$Q\" -q -f png -o check x.gif && " + sameAs + picture + "').convert('RGB').getdata()))\"")
                      .exitCode, 0) << picture;
      EXPECT_EQ(Shell(in + "LC_ALL=C.UTF-8 \"$K\" -v x.gif").out, "x.gif: unchanged (x.gif.png)\n");
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
    EXPECT_EQ(checked.out, "x.gif <- x.gif.png: 1 pixels in 1 x 1 at 1, 1" + (made.empty() ? "" : ", backup " + made) + "\n");
    EXPECT_EQ(others(dir / folder), before);
    for (const bool copies : {false, true}) {
      for (const bool killed : {true, false}) {
        SCOPED_TRACE(std::string(copies ? "copied" : "linked") + (killed ? ", killed" : ", let go"));
        const fs::path run = dir / (folder + (copies ? "c" : "l") + (killed ? "k" : "g"));
        ASSERT_EQ(Shell("cp -pr " + folder + " " + run.string()).exitCode, 0);
        std::vector<std::string> args;
        if (copies)
          args = {"/usr/bin/python3", QUILLANE_SYSTEM_FAULTS, "--no-unnamed-files", "--fail", "link=EPERM", "--fail", "linkat=EPERM"};
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
  const Ran failing = Shell("cd failing && LC_ALL=C.UTF-8 /usr/bin/python3 '" QUILLANE_SYSTEM_FAULTS "' --no-unnamed-files "
                            "--fail rename=EIO --fail renameat=EIO --fail renameat2=EIO \"$K\" --backup=t x.gif");
  EXPECT_EQ(failing.exitCode, 1);
  EXPECT_EQ(failing.err, "quillane-pack: x.gif: cannot replace x.gif: Input/output error; its backup x.gif.~1~ stays\n");
  EXPECT_EQ(ReadFileBytes(dir / "failing/x.gif"), old);
  EXPECT_EQ(ReadFileBytes(dir / "failing/x.gif.~1~"), old);
  EXPECT_FALSE(fs::exists(dir / "failing/x.gif.temp"));

  // With -o the backup is of the output that stands there, and none is made
  // where none stands; the carrier is left alone.
  ASSERT_EQ(Shell("cp -pr seed out").exitCode, 0);
  EXPECT_EQ(Shell("cd out && LC_ALL=C.UTF-8 \"$K\" -v -b -o new x.gif").out, "new/x.gif <- x.gif.png: 1 pixels in 1 x 1 at 1, 1\n");
  const Bytes packed = ReadFileBytes(dir / "out/new/x.gif");
  EXPECT_EQ(Shell("cd out && LC_ALL=C.UTF-8 \"$K\" -v -b -o new x.gif").out,
            "new/x.gif <- x.gif.png: 1 pixels in 1 x 1 at 1, 1, backup new/x.gif~\n");
  EXPECT_EQ(ReadFileBytes(dir / "out/new/x.gif~"), packed);
  EXPECT_EQ(ReadFileBytes(dir / "out/x.gif"), old);
  EXPECT_FALSE(fs::exists(dir / "out/x.gif~"));

  // Values GNU's tools refuse, and suffixes that would name a backup as one of the tools' own files.
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
    EXPECT_EQ(run.err, "quillane-pack: " + problem + "\n" + kPackUsage) << args;
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

// Every text the tools can say has both languages and takes in each the
// values the other takes; every failure and refusal is put in words; and a
// few worked examples, written out by hand, show the words composed, values
// reordered for Japanese and the system's reasons in this process's locale, C.
TEST(Words, EveryTextInBothLanguagesAndEveryOutcomeInWords) {
  const std::vector<NativeString> values = {"<a>", "<b>", "<c>", "<d>", "<e>", "<f>"};
  for (std::size_t i = 0; i < static_cast<std::size_t>(Text::kCount); ++i) {
    const auto say = [&](bool japanese) {
      UseJapanese(japanese);
      return Say(static_cast<Text>(i), {values[0], values[1], values[2], values[3], values[4], values[5]});
    };
    const NativeString english = say(false), japanese = say(true);
    SCOPED_TRACE(english);
    EXPECT_FALSE(english.empty());
    EXPECT_FALSE(japanese.empty());
    for (const NativeString& value : values)
      EXPECT_EQ(english.find(value) != NativeString::npos, japanese.find(value) != NativeString::npos) << value;
  }
  UseJapanese(false);
  const auto outcome = [](Status status, Step step = Step::kNone, SystemError cause = {}) {
    Entry entry;
    entry.source = "x.gif";
    entry.base = "x.gif";
    entry.outcome.error = {status, step, cause};
    return OutcomeProblem(entry, kBmpSuffix);
  };
  const auto refusal = [](Refusal why, PictureProblem picture = {}) {
    PackOutcome packed;
    packed.patch.refusal = why;
    packed.patch.picture = picture;
    packed.patch.pixels = {7, 3, 1};
    packed.bitmap.form = BitmapForm::kRows;
    packed.bitmap.width = 5;
    packed.bitmap.header.depth = 24;
    packed.bitmap.header.height = 3;
    packed.other = "x.gif.bmp";
    return RefusalProblem(packed, "x.gif.png");
  };
  for (int status = static_cast<int>(Status::kBadExtension); status <= static_cast<int>(Status::kRefused); ++status)
    EXPECT_FALSE(outcome(static_cast<Status>(status), Step::kReadSource).empty()) << status;
  for (int why = static_cast<int>(Refusal::kPicture); why <= static_cast<int>(Refusal::kTwoEdits); ++why)
    EXPECT_FALSE(refusal(static_cast<Refusal>(why), {PictureProblem::Kind::kCutShort}).empty()) << why;
  PatchResult far;
  far.farColours = {{{255, 0, 0, 255}, 3, 1, {255, 255, 255, 255}, 114.53}};
  far.farColourCount = 1;
  Judged noPicture;
  noPicture.standing = Standing::kNoPicture;
  noPicture.patch.refusal = Refusal::kPicture;
  noPicture.patch.picture = {PictureProblem::Kind::kCutShort};
  const struct {
    const char* what;
    std::function<NativeString()> say;
    std::string english, japanese;
  } examples[] = {
      {"no carrier, as the window says it", [&] { return outcome(Status::kUnsupported, Step::kReadSource); },
       "not a carrier GIF", "このファイルは対応フォーマットではありません。"},
      {"the system's reason", [&] { return outcome(Status::kIoError, Step::kReplaceOutput, SystemError::System(EISDIR)); },
       "cannot replace x.gif.bmp: Is a directory", "x.gif.bmp を置き換えられません: Is a directory"},
      {"values reordered", [&] { return refusal(Refusal::kTransparent); },
       "7 pixels of x.gif.png are transparent, which the carrier's bitmap cannot hold; the first at 3, 1; "
       "the bitmap (24-bit) holds opaque colours only: make those pixels opaque",
       "x.gif.png の 7 個の画素が透明ですが、ビットマップは透明を持てません。最初は 3, 1。"
       "ビットマップ (24 ビット) は不透明な色だけを持てます。これらの画素を不透明にしてください"},
      {"an output kept", [&] { return KeptLine(noPicture, "x.gif.png"); },
       "x.gif.png: kept: it is no picture of its carrier's bitmap (cut short); --force replaces it",
       "x.gif.png: 保持しました: 搬送ファイルのビットマップの画像ではありません (途中で切れています)。--force で置き換えます"},
      {"a colour moved far", [&] { return FarColourLines(far, "x.gif", "x.gif.png").at(1); },
       "#ff0000 in 3 pixels stored as entry 1, #ffffff, ΔE 114.5", "#ff0000 の 3 画素を 1 番の #ffffff に置き換え、ΔE 114.5"},
  };
  for (const auto& example : examples) {
    SCOPED_TRACE(example.what);
    UseJapanese(false);
    EXPECT_EQ(example.say(), example.english);
    UseJapanese(true);
    EXPECT_EQ(example.say(), example.japanese);
  }
  UseJapanese(false);
}

// Every class of byte that is no printable UTF-8, in a name, escaped as the
// table writes it by hand; printable characters beyond ASCII kept.
TEST_F(Cli, EveryUnprintableByteOfANameIsEscaped) {
  const std::pair<std::string, std::string> names[] = {
      {"c0 \x01\x1f.gif", "c0 \\001\\037.gif"},
      {"tab \t cr \r lf \n.gif", "tab \\t cr \\r lf \\n.gif"},
      {"esc \x1b[2J.gif", "esc \\033[2J.gif"},
      {"del \x7f.gif", "del \\177.gif"},
      {"c1 \xc2\x80\xc2\x9b\xc2\x9f.gif", "c1 \\xc2\\x80\\xc2\\x9b\\xc2\\x9f.gif"},
      {"stray \x80\xbf\xfe\xff.gif", "stray \\x80\\xbf\\xfe\\xff.gif"},
      {"cut \xe6\x97.gif", "cut \\xe6\\x97.gif"},
      {"overlong \xc0\xaf \xc1\xbf \xe0\x80\xaf \xf0\x80\x80\xaf.gif",
       "overlong \\xc0\\xaf \\xc1\\xbf \\xe0\\x80\\xaf \\xf0\\x80\\x80\\xaf.gif"},
      {"surrogate \xed\xa0\x80 \xed\xbf\xbf.gif", "surrogate \\xed\\xa0\\x80 \\xed\\xbf\\xbf.gif"},
      {"beyond \xf4\x90\x80\x80 \xf5\x80\x80\x80.gif", "beyond \\xf4\\x90\\x80\\x80 \\xf5\\x80\\x80\\x80.gif"},
      {"kept \xc2\xa0 \xc3\xa9 \xe6\x97\xa5 \xed\x9f\xbf \xf0\x9d\x84\x9e \xf4\x8f\xbf\xbf.gif",
       "kept \xc2\xa0 \xc3\xa9 \xe6\x97\xa5 \xed\x9f\xbf \xf0\x9d\x84\x9e \xf4\x8f\xbf\xbf.gif"},
  };
  std::string args, expected;
  for (const auto& [name, shown] : names) {
    WriteFileBytes(dir / name, Bytes(30, 0x3B));
    args += " '" + name + "'";
    expected += "quillane-convert: " + shown + ": not a carrier GIF\n";
  }
  const Ran run = Run(args);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, expected + "11 files: 0 converted, 11 failed\n");
}

// The lines only a batch run gives, English and Japanese: a folder named to
// pack, what shows no picture written as BMP, a failed rename, what packing
// checks and maps, and a hint said once for the run.
TEST_F(Cli, BatchMessagesInBothLanguages) {
  const std::string pil = "/usr/bin/python3 -c \"from PIL import Image; ";
  ASSERT_EQ(Shell("mkdir set && \"$M\" --width 5 --height 3 set/a.gif && \"$M\" --width 5 --height 3 u.gif && "
                  "\"$Q\" -q u.gif && cp u.gif v.gif && cp u.gif.bmp v.gif.bmp && cp u.gif n.gif && "
                  // Rows of the game's own layout, no BM: 2 x 2 pixels from byte 54.
                  "/usr/bin/python3 -c \"import struct; open('plain.bin', 'wb').write(b'XX' + bytes(16) + "
                  "struct.pack('<ii', 2, 2) + bytes(28) + bytes(range(12)))\" && \"$M\" --payload plain.bin plain.gif && "
                  // 16-bit bitfields whose masks the pixels' offset leaves out.
                  "/usr/bin/python3 -c \"import struct; open('masks.bin', 'wb').write(struct.pack('<2sIHHIIiiHHIIiiII', "
                  "b'BM', 58, 0, 0, 54, 40, 2, 1, 1, 16, 3, 4, 0, 0, 0, 0) + bytes(4))\" && \"$M\" --payload masks.bin masks.gif && "
                  // A 1-bit black and white bitmap, and a picture of it with 3 pixels red.
                  + pil + "Image.new('1', (4, 2)).save('bw.bmp'); i = Image.new('RGB', (4, 2)); "
                  "[i.putpixel(p, (255, 0, 0)) for p in ((1, 0), (2, 0), (3, 1))]; i.save('bw.gif.png')\" && "
                  "\"$M\" --payload bw.bmp bw.gif && cp bw.gif bw2.gif && mkdir x.gif.bmp && touch x.gif.bmp/f && mkdir -p rr/bw.gif && "
                  "\"$M\" x.gif").exitCode, 0);
  // ΔE of sRGB red, L* 53.24 a* 80.09 b* 67.20, to white, L* 100: the nearest of black and white.
  const struct {
    const char* what;
    std::string command;
    int exitCode;
    std::string out, err, japaneseErr;
  } cases[] = {
      {"a folder to pack", "\"$K\" set", 1, "", "quillane-pack: set: a folder; -r packs what is inside\n",
       "quillane-pack: set: フォルダーです。中身は -r で書き戻せます\n"},
      {"no standard header, as BMP", "\"$Q\" -v -f png plain.gif", 0,
       "plain.gif -> plain.gif.bmp (no standard bitmap header, kept as BMP)\n", "", ""},
      {"masks cut short, as BMP", "\"$Q\" -v -f png masks.gif", 0,
       "masks.gif -> masks.gif.bmp (palette or masks cut short, kept as BMP)\n", "", ""},
      {"a rename refused", "\"$K\" --nearest -o rr bw.gif", 1, "",
       "quillane-pack: bw.gif: cannot replace rr/bw.gif: Is a directory\n",
       "quillane-pack: bw.gif: rr/bw.gif を置き換えられません: ディレクトリです\n"},
      {"a folder where the output goes, a failure", "\"$Q\" x.gif", 1, "",
       "quillane-convert: x.gif: cannot read x.gif.bmp: not a regular file\n",
       "quillane-convert: x.gif: x.gif.bmp を読み取れません: 通常のファイルではありません\n"},
      {"checked", "\"$K\" -n u.gif v.gif", 0, "", "2 carriers: 0 would be packed, 2 already hold their pictures, 0 failed\n",
       "2 個の搬送ファイル: 書き戻し可能 0、書き戻し済み 2、失敗 0\n"},
      {"off the palette, for -v", "\"$K\" -v bw.gif", 1, "",
       "quillane-pack: bw.gif: 3 pixels of bw.gif.png are not in the carrier's palette; the first at 1, 0 from the top "
       "left; --nearest stores each as the palette's nearest colour\n"
       "  #ff0000 in 3 pixels: the nearest is entry 1, #ffffff, ΔE 114.5\n",
       "quillane-pack: bw.gif: bw.gif.png の 3 個の画素がパレットにない色です。最初は左上から 1, 0。"
       "--nearest でパレットの最も近い色に置き換えられます\n"
       "  #ff0000 が 3 画素: 最も近いのは 1 番の #ffffff、ΔE 114.5\n"},
      {"mapped far", "\"$K\" -n -v --nearest bw.gif u.gif", 0,
       "bw.gif <- bw.gif.png: 3 pixels in 3 x 2 at 1, 0; 3 pixels mapped to the palette, largest ΔE 114.5\nu.gif: unchanged (u.gif.bmp)\n",
       "quillane-pack: bw.gif <- bw.gif.png: --nearest moved 1 colours farther than ΔE 10, a visible change; the commonest:\n"
       "  #ff0000 in 3 pixels stored as entry 1, #ffffff, ΔE 114.5\n"
       "2 carriers: 1 would be packed, 1 already hold their pictures, 0 failed; 3 pixels mapped to the palette, largest ΔE 114.5; "
       "1 carriers with colours moved farther than ΔE 10\n",
       "quillane-pack: bw.gif <- bw.gif.png: --nearest で 1 色を ΔE 10 より遠く (見て分かるほど) 置き換えました。多い順に:\n"
       "  #ff0000 の 3 画素を 1 番の #ffffff に置き換え、ΔE 114.5\n"
       "2 個の搬送ファイル: 書き戻し可能 1、書き戻し済み 1、失敗 0。3 画素をパレットの色に置き換え、最大 ΔE 114.5。"
       "ΔE 10 より遠く置き換えた色のある搬送ファイル 1\n"},
      {"no pictures, the hint once", "\"$K\" n.gif bw2.gif", 1, "",
       "quillane-pack: n.gif: no picture: neither n.gif.png nor n.gif.bmp exists; pictures are looked for beside each "
       "carrier, and --from DIR takes them from DIR, where quillane-convert -o DIR wrote them\n"
       "quillane-pack: bw2.gif: no picture: neither bw2.gif.png nor bw2.gif.bmp exists\n"
       "2 carriers: 0 packed, 0 already hold their pictures, 2 failed\n",
       "quillane-pack: n.gif: 画像がありません: n.gif.png も n.gif.bmp もありません。画像は各搬送ファイルの隣を探します。"
       "quillane-convert -o DIR で書き出した画像は --from DIR で指定できます\n"
       "quillane-pack: bw2.gif: 画像がありません: bw2.gif.png も bw2.gif.bmp もありません\n"
       "2 個の搬送ファイル: 書き戻し 0、書き戻し済み 0、失敗 2\n"},
      {"no pictures in --from", "\"$K\" --from pics bw.gif", 1, "",
       "quillane-pack: bw.gif: no picture: neither pics/bw.gif.png nor pics/bw.gif.bmp exists; pictures are looked for "
       "in pics, where quillane-convert -o pics writes them\n",
       "quillane-pack: bw.gif: 画像がありません: pics/bw.gif.png も pics/bw.gif.bmp もありません。画像は pics を探します "
       "(quillane-convert -o pics の書き出し先)\n"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.what);
    const Ran english = Shell("LC_ALL=C.UTF-8 " + test.command);
    EXPECT_EQ(english.exitCode, test.exitCode);
    EXPECT_EQ(english.out, test.out);
    EXPECT_EQ(english.err, test.err);
    if (test.out.empty() || test.exitCode != 0) {
      const Ran japanese = Shell("LC_ALL= LANG=ja_JP.UTF-8 " + test.command);
      EXPECT_EQ(japanese.err, test.japaneseErr);
    }
  }
}

// The failures of a run in Japanese, each line as the Japanese table composes
// it, the system's reasons in Japanese too.
TEST_F(Cli, FailuresInJapanese) {
  ASSERT_EQ(Shell("mkdir -p set a b locked && \"$M\" set/a.gif && printf x >set/n.txt && \"$M\" --seed 1 a/x.gif && "
                  "\"$M\" --seed 2 b/x.gif && \"$M\" u.gif && \"$Q\" -q u.gif && printf x >blocker && "
                  "\"$M\" locked/l.gif && chmod 0 locked && \"$M\" k.gif && printf junk >k.gif.bmp").exitCode, 0);
  const std::string usage = "usage: quillane-convert [-rnqvb] [-j N] [-o DIR] [-f png|bmp] [--force] [--backup[=CONTROL]] [-S SUFFIX] [--catalogue] FILE...\n";
  const struct {
    const char* what;
    std::string command;
    int exitCode;
    std::string err;
  } cases[] = {
      {"a folder", "\"$Q\" set", 1, "quillane-convert: set: フォルダーです。中身は -r で変換できます\n"},
      {"a picture for its carrier", "\"$K\" u.gif.bmp", 1,
       "quillane-pack: u.gif.bmp: 拡張子が \".gif\" もしくは \".GIF\" 以外のファイルは処理できません。この画像の搬送ファイルは u.gif です\n"},
      {"a folder that cannot be made", "\"$Q\" -o blocker/x u.gif", 1,
       "quillane-convert: u.gif: フォルダー blocker/x を作成できません: ディレクトリではありません\n"},
      {"written twice", "\"$Q\" -o out a/x.gif b/x.gif", 1,
       "quillane-convert: b/x.gif: out/x.gif.bmp に書き込めません: a/x.gif から書き出し済みです\n"
       "2 個のファイル: 変換 1、失敗 1\n"},
      {"replacing a source", "\"$K\" -o b a/x.gif b/x.gif", 1,
       "quillane-pack: a/x.gif: b/x.gif に書き込めません: この実行で読み込む b/x.gif を置き換えてしまいます\n"
       "quillane-pack: b/x.gif: 画像がありません: b/x.gif.png も b/x.gif.bmp もありません。画像は各搬送ファイルの隣を探します。"
       "quillane-convert -o DIR で書き出した画像は --from DIR で指定できます\n"
       "2 個の搬送ファイル: 書き戻し 0、書き戻し済み 0、失敗 2\n"},
      {"an unknown option", "\"$Q\" -x u.gif", 2, "quillane-convert: 不明なオプションです: -x\n" + usage},
      {"a bad value", "\"$Q\" -j 0 u.gif", 2, "quillane-convert: -j の値が正しくありません: 0\n" + usage},
      {"a value missing", "\"$Q\" u.gif -o", 2, "quillane-convert: オプション -o には値が必要です\n" + usage},
      {"no file", "\"$Q\"", 2, "quillane-convert: ファイルが指定されていません\n" + usage},
      {"checked, one skipped", "\"$Q\" -n -r set", 0, "2 個のファイル: 変換可能 1、失敗 0、スキップ 1\n"},
      {"a folder that cannot be read", "$AS \"$Q\" -r locked", 1,
       "quillane-convert: locked: フォルダーを読み取れません: 許可がありません\n"},
      {"standard output full", "\"$Q\" --help >/dev/full", 1,
       "quillane-convert: 標準出力に書き込めません: デバイスに空き領域がありません\n"},
      {"an output kept", "\"$Q\" k.gif other.gif", 1,
       "quillane-convert: k.gif.bmp: 保持しました: 搬送ファイルのビットマップの画像ではありません (PNG でも BMP でもありません)。"
       "--force で置き換えます\n"
       "quillane-convert: other.gif: 開けません: そのようなファイルやディレクトリはありません\n"
       "2 個のファイル: 変換 0、失敗 1、保持 1\n"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.what);
    const Ran run = Shell("export LC_ALL= LANG=ja_JP.UTF-8; " + test.command);
    EXPECT_EQ(run.exitCode, test.exitCode);
    EXPECT_EQ(run.err, test.err);
  }
  Shell("chmod 755 locked");
}

// Starts `args` with standard error into `err`, in English or Japanese,
// with `env` added.
pid_t StartSaying(const std::vector<std::string>& args, bool japanese, const std::string& env, const fs::path& err) {
  std::vector<std::string> kept = {japanese ? "LANG=ja_JP.UTF-8" : "LC_ALL=C.UTF-8", env};
  for (char** e = environ; *e; ++e) {
    const std::string_view entry = *e;
    if (!entry.starts_with("LANG=") && !entry.starts_with("LC_ALL=") && !entry.starts_with("LC_MESSAGES=")) kept.push_back(*e);
  }
  return Spawn(args, kept, err);
}

// Two at once, each first process stopped at a known step of taking its
// staging file: a conversion is refused as busy, and a pack whose carrier
// another program changes meanwhile says so; in English and Japanese.
TEST_F(Cli, ContentionIsSaid) {
  ASSERT_EQ(Shell("\"$M\" --width 5 --height 3 x.gif && \"$Q\" -q -f png x.gif && /usr/bin/python3 -c \"from PIL import "
                  "Image; i = Image.open('x.gif.png'); i.putpixel((0, 0), (1, 2, 3)); i.save('x.gif.png')\"").exitCode, 0);
  const Bytes carrier = ReadFileBytes(dir / "x.gif");
  const std::string source = (dir / "x.gif").string();
  const fs::path err = scratch / "first.err";
  const auto stopAtStaging = [&](const std::vector<std::string>& args, bool japanese) {
    const pid_t pid = StartSaying(args, japanese, "QUILLANE_STOP_AT=staged", err);
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, WUNTRACED), pid);
    EXPECT_TRUE(WIFSTOPPED(status));
    return pid;
  };
  const auto said = [&] {
    const Bytes bytes = ReadFileBytes(err);
    return std::string(bytes.begin(), bytes.end());
  };
  for (const bool japanese : {false, true}) {
    SCOPED_TRACE(japanese ? "Japanese" : "English");
    const pid_t converting = stopAtStaging({QUILLANE_CONVERT, "-q", "--force", source}, false);
    EXPECT_EQ(Shell(std::string(japanese ? "LC_ALL= LANG=ja_JP.UTF-8" : "LC_ALL=C.UTF-8") + " \"$Q\" --force x.gif").err,
              japanese ? "quillane-convert: x.gif: このファイルは別のプロセスが変換中です。\n"
                       : "quillane-convert: x.gif: being converted by another process\n");
    kill(converting, SIGCONT);
    EXPECT_EQ(ExitCode(converting), 0);
    // An output that holds what a conversion writes is left as it is, so the next round starts without it.
    fs::remove(dir / "x.gif.bmp");

    WriteFileBytes(dir / "x.gif", carrier);
    const pid_t packing = stopAtStaging({QUILLANE_PACK, source}, japanese);
    Bytes changed = carrier;
    changed.push_back(0);
    WriteFileBytes(dir / "x.gif", changed);
    kill(packing, SIGCONT);
    EXPECT_EQ(ExitCode(packing), 1);
    EXPECT_EQ(said(), japanese ? "quillane-pack: " + source + ": 書き戻し中に搬送ファイルが変更されました\n"
                               : "quillane-pack: " + source + ": the carrier changed while it was packed\n");
    EXPECT_EQ(ReadFileBytes(dir / "x.gif"), changed);
    EXPECT_FALSE(fs::exists(dir / "x.gif.temp"));
  }
}

// What a packed carrier keeps of the one it replaces: its permission bits,
// set-id and sticky bits included, and its owner and group, or where only the
// group may be set, its group; and folders -o makes are made as mkdir -p
// makes them, under the umask, their names joined without doubled separators.
TEST_F(Cli, ReplacedFilesKeepTheirAttributes) {
  const bool root = geteuid() == 0;
  const std::string edit = "/usr/bin/python3 -c \"from PIL import Image; i = Image.open('x.gif.bmp'); "
                           "i.putpixel((0, 0), (1, 2, 3)); i.save('x.gif.bmp')\"";
  const struct {
    const char* what;
    std::string setup, pack, kept;
  } cases[] = {
      {"read and write for the owner", "chmod 600 x.gif", "\"$K\" -q x.gif", "600 0 0"},
      {"set-group-ID", "chmod 2754 x.gif", "\"$K\" -q x.gif", "2754 0 0"},
      {"set-user-ID, another owner", "chown 65534:65534 x.gif && chmod 4755 x.gif", "\"$K\" -q x.gif", "4755 65534 65534"},
      {"sticky", "chmod 1644 x.gif", "\"$K\" -q x.gif", "1644 0 0"},
      // A user who may not give the file away, but is of its group, keeps the group.
      {"only the group settable", "chgrp 100 x.gif && chmod 664 x.gif && chmod 777 .",
       "setpriv --reuid=65534 --regid=65534 --groups=100 \"$K\" -q x.gif", "664 65534 100"},
  };
  int n = 0;
  for (const auto& test : cases) {
    SCOPED_TRACE(test.what);
    if (!root) break;  // only root can give files away and make them another's
    const std::string folder = "a" + std::to_string(++n), in = "mkdir -p " + folder + " && cd " + folder + " && ";
    ASSERT_EQ(Shell(in + "\"$M\" --width 5 --height 3 x.gif && \"$Q\" -q x.gif && " + edit + " && " + test.setup).exitCode, 0);
    EXPECT_EQ(Shell(in + test.pack).exitCode, 0);
    EXPECT_EQ(Shell(in + "stat -c '%a %u %g' x.gif").out, test.kept + "\n");
  }
  ASSERT_EQ(Shell("\"$M\" --width 5 --height 3 y.gif").exitCode, 0);
  EXPECT_EQ(Shell("umask 027 && LC_ALL=C.UTF-8 \"$Q\" -v -o out/new/ y.gif && stat -c '%a' out out/new").out,
            "y.gif -> out/new/y.gif.bmp\n750\n750\n");
  // An unchanged carrier is not written, even where -o asks for it elsewhere.
  EXPECT_EQ(Shell("umask 022 && \"$Q\" -q y.gif && LC_ALL=C.UTF-8 \"$K\" -v -o packed/ y.gif && "
                  "stat -c '%a' packed && test ! -e packed/y.gif").out, "y.gif: unchanged (y.gif.bmp)\n755\n");
}

}  // namespace
